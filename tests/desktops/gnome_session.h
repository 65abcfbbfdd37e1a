#pragma once
// GNOME Shell as a user's session runs it, headless: a system bus of its own
// with a stand-in for logind (python3-dbusmock), a session bus of its own, a
// virtual monitor and Xwayland. What the test reads of the windows is the
// shell's own view (its introspection interface), and what it types and clicks
// goes through the compositor (its remote-desktop interface), as a user's
// keyboard and mouse do.
#include "desktop_session.h"
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

class GnomeSession final : public DesktopSession {
public:
    // With the AppIndicator extension (a tray, as Ubuntu ships it) or plain.
    explicit GnomeSession(bool appIndicator);
    ~GnomeSession() override;
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    QString name() const override;
    bool hasTray() const override { return appIndicator_; }
    bool notifies() const override { return true; }
    QProcessEnvironment clientEnvironment() const override;
    // The shell's introspection lists the windows of the task bar; a tray
    // program's tool window is read as the X clients see it.
    Window window(const QString& title) const override;
    // A left click through the compositor's remote-desktop interface.
    bool giveFocus(const QString& title, QPoint at) override;
    void type(const QStringList& keys) override;
    bool clickTrayIcon(int times) override;
    bool screenshot(const QString& path) const override;

private:
    bool start();
    bool gsettings(const QStringList& args) const;
    QDBusConnection bus() const;
    void click(QPoint at, int times);

    bool appIndicator_;
    QTemporaryDir home_;
    testing::PrivateBus systemBus_;
    testing::PrivateBus sessionBus_;
    QProcess logind_;
    QProcess shell_;
    QString remoteSession_;
};

} // namespace tarvik::desktops
