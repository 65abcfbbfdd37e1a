#include "ui/tarvik_application.h"

#include "platform/errors.h"

namespace tarvik {

TarvikApplication::TarvikApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
    setQuitOnLastWindowClosed(false);
    // A StatusNotifierItem's title, which KDE shows as the tray icon's tooltip.
    setApplicationName(QStringLiteral("TARVIK"));
    // Lets the desktop match the windows to tarvik.desktop (its icon and name).
    setDesktopFileName(QStringLiteral("tarvik"));
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
