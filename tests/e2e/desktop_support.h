#pragma once
// A desktop on a private X server: a tray host, window lookup by X class,
// window pictures and the reading of what the main window shows.
#include "e2e_support.h"
#include "x11_support.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

namespace tarvik::e2e {

// trayer as the notification area, docked at the top right of the screen.
class TrayHost {
public:
    explicit TrayHost(const XServer& x);
    ~TrayHost();
    bool started() const { return !panel_.isEmpty(); }
    // The window a program of this X class has embedded into the tray, or "".
    QString icon(const QString& windowClass, milliseconds timeout = 15s) const;

private:
    const XServer& x_;
    QProcess trayer_;
    QString panel_;
};

// The window's place on the screen; an empty rectangle when it is gone.
QRect screenRect(const XServer& x, const QString& window);
// Visible windows whose X class matches the pattern.
QStringList visibleWindows(const XServer& x, const QString& classPattern);
// Waits for a visible window of the class that is not among `known`; "" on timeout.
QString waitForNewWindow(const XServer& x, const QString& classPattern, const QStringList& known,
                         milliseconds timeout = 10s);
bool waitUntilGone(const XServer& x, const QString& window, milliseconds timeout = 10s);
// A right click on the program's tray icon; the popup menu's window once it is
// painted, or "".
QString openTrayMenu(const XServer& x, const QString& icon);
// The program's environment on the X server with the session bus pointed at
// nothing, so that its icon goes into the X tray.
QProcessEnvironment xTrayEnvironment(const XServer& x, const Sandbox& box);
// Keys to an open popup menu, which holds the keyboard wherever the focus is; true
// when the menu closed. Keys that come before the menu has taken the keyboard go
// elsewhere: when they chose and marked nothing, they are sent again.
bool chooseFromMenu(const XServer& x, const QString& menu, const QStringList& keys);

// What the window shows on the screen; a null image when it is not there.
QImage grab(const XServer& x, const QString& window);
// What the user sees of the window with the window manager's frame around it,
// taken from the screen; a null image when it is not there.
QImage grabFramed(const XServer& x, const QString& window);
// The first picture that a second one a moment later repeats: painting is over.
QImage grabSettled(const XServer& x, const QString& window, milliseconds timeout = 10s,
                   QImage (*take)(const XServer&, const QString&) = grab);

// The rows of a popup menu's highlighted item (the one the keys have chosen),
// found at the menu's right side where no text is; an empty rectangle when none.
QRect highlightedItem(const QImage& menu);

// The main window's nine LED digits as text, read from the middles of the seven
// straight bars of each digit: "o 1234567" for the caller 1234567. A pattern
// of bars that is no known character reads as '?'.
QString readLeds(const QImage& mainWindow);

// How the tray picture looks: blue and red pixels in its top part (the
// letters; the top of the no-entry ring) and red ones in all of it.
struct TrayLook {
    int blueTop = 0;
    int redTop = 0;
    int red = 0;
};
TrayLook lookAtTrayPicture(const QImage& icon);

} // namespace tarvik::e2e
