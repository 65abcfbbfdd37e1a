#pragma once
#include <QApplication>

namespace tarvik {

// The program's application object. Whatever escapes an event handler, a timer
// or the idle hook reaches the default error report here, and the program
// goes on. The main window lives in the tray, so closing the last visible
// window (a dialog, say) does not end the program; closing the main window does.
class TarvikApplication : public QApplication {
    Q_OBJECT

public:
    TarvikApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tarvik
