#pragma once
// GNOME Shell as a user's session runs it, headless: a system bus of its own
// with a stand-in for logind (python3-dbusmock), a session bus of its own, a
// virtual monitor and Xwayland. What the test reads of the windows is the
// shell's own view (its introspection interface), and what it types and clicks
// goes through the compositor (its remote-desktop interface), as a user's
// keyboard and mouse do.
#include "private_bus.h"

#include <QDBusConnection>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace tarvik::desktops {

class GnomeSession {
public:
    // With the AppIndicator extension (a tray, as Ubuntu ships it) or plain.
    explicit GnomeSession(bool appIndicator);
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    // Why the session is not there; "" once it runs.
    QString failure() const { return failure_; }

    // What a program started in the session gets: its buses, Wayland and
    // Xwayland displays; no platform chosen.
    QProcessEnvironment clientEnvironment() const;

    struct Window {
        QString title;
        QString wmClass;
        bool hidden = false; // minimised
        bool focused = false;
    };
    // Every window, as the shell sees it.
    QList<Window> windows() const;
    // The window with this title; an empty title when there is none.
    Window window(const QString& title) const;
    // The shell's stacking of the Xwayland windows, bottom to top, by title.
    QStringList stacking() const;

    // Through the compositor: a left click at a point of the screen, keys by
    // their X keysyms.
    void click(QPoint at);
    void type(const QList<uint>& keysyms);
    // The screen as a PNG file.
    bool screenshot(const QString& path) const;

    // An X client on the session's Xwayland (xprop, xwininfo, ...): its output.
    QByteArray runX(const QString& program, const QStringList& args) const;

private:
    bool start(bool appIndicator);
    bool gsettings(const QStringList& args) const;
    bool findXwayland();
    QDBusConnection bus() const;

    QTemporaryDir home_;
    testing::PrivateBus systemBus_;
    testing::PrivateBus sessionBus_;
    QProcess logind_;
    QProcess shell_;
    QString display_;
    QString xauthority_;
    QString remoteSession_;
    QString failure_;
};

} // namespace tarvik::desktops
