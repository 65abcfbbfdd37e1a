#include "ui/tarvik_application.h"

#include "platform/errors.h"

namespace tarvik {

TarvikApplication::TarvikApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
    setQuitOnLastWindowClosed(false);
}

bool TarvikApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

} // namespace tarvik
