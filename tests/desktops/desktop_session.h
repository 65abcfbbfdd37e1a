#pragma once
// A desktop as a user's session runs it, headless, for the whole-program checks:
// its compositor, its buses, Xwayland or an X server, and what the test reads
// and does through it. What a session tells of its windows is the compositor's
// own view; the stacking of the X windows is what it tells the X clients.
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>

namespace tarvik::desktops {

class DesktopSession {
public:
    enum class Kind { GnomeWithAppIndicator, GnomePlain, KwinWayland, KwinX11 };
    // Starts the desktop; failure() tells why it is not there.
    static std::unique_ptr<DesktopSession> start(Kind kind);
    virtual ~DesktopSession() = default;

    QString failure() const { return failure_; }
    // For file names: "gnome-plain", "kwin-wayland", ...
    virtual QString name() const = 0;
    // Whether the desktop has a tray a program's icon goes into.
    virtual bool hasTray() const = 0;
    // Whether it has a notification service.
    virtual bool notifies() const = 0;
    // What a program started in the session gets: its session bus, its
    // displays; no Qt platform chosen.
    virtual QProcessEnvironment clientEnvironment() const = 0;

    struct Window {
        QString title;       // empty: no such window
        bool hidden = false; // minimised
        bool focused = false;
    };
    virtual Window window(const QString& title) const = 0;
    // The X windows bottom to top, by title, as the window manager keeps them.
    QStringList stacking() const;

    // The user gives the window the keyboard: a click at `at` where the
    // compositor takes input, else the compositor's own activation (as a task
    // bar asks for it).
    virtual bool giveFocus(const QString& title, QPoint at) = 0;
    // Clicks on the program's tray icon, as the tray host passes them on;
    // false where the test cannot reach the icon.
    virtual bool clickTrayIcon(int times) {
        (void)times;
        return false;
    }
    // Keys typed, by X keysym name ("space", "p", "Escape").
    virtual void type(const QStringList& keys) = 0;
    // The window minimised, as its menu does it.
    bool minimise(const QString& title);
    // The screen as a PNG file.
    virtual bool screenshot(const QString& path) const = 0;

    // An X client on the session's X server (xprop, xdotool, ...): its output.
    QByteArray runX(const QString& program, const QStringList& args) const;
    QProcessEnvironment xEnvironment() const;

protected:
    // What the window manager tells the X clients about a window.
    Window xWindow(const QString& title) const;
    // A compositor's environment: the session's own folders under `home` (its
    // runtime folder made), its session bus, and no display inherited.
    static QProcessEnvironment compositorEnvironment(const QString& home,
                                                     const QString& sessionBus);
    // Why it did not start, with the end of the compositor's log.
    void fail(const QString& log);

    QString display_;
    QString xauthority_;
    QString failure_;
};

// Xwayland started by a compositor: its display and authority file; false
// while there is none.
bool findXwayland(qint64 compositorPid, QString& display, QString& xauthority);

// Ends a process of the session: asked, then made to.
void stopProcess(QProcess& process);

} // namespace tarvik::desktops
