#pragma once
// KWin as a Plasma session runs it, headless: on Wayland (a virtual output and
// Xwayland) or as the X11 window manager on Xvfb, with a session bus of its
// own. What the test reads of the windows is KWin's own view, through its
// scripting interface; the user's activation of a window is KWin's own (as
// the task manager asks for it), and keys go to the X server KWin directs
// them to.
#include "desktop_session.h"
#include "private_bus.h"
#include "x11_support.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace tarvik::desktops {

class KwinSession final : public DesktopSession {
public:
    explicit KwinSession(bool wayland);
    ~KwinSession() override;
    KwinSession(const KwinSession&) = delete;
    KwinSession& operator=(const KwinSession&) = delete;

    QString name() const override;
    // No Plasma shell: neither a tray nor a notification service.
    bool hasTray() const override { return false; }
    bool notifies() const override { return false; }
    QProcessEnvironment clientEnvironment() const override;
    Window window(const QString& title) const override;
    bool giveFocus(const QString& title, QPoint at) override;
    void type(const QStringList& keys) override;
    bool screenshot(const QString& path) const override;

private:
    bool start();
    // Runs a script in KWin; what it passed to report(), or "" when it did not run.
    QString runScript(const QString& body) const;
    QDBusConnection bus() const;

    bool wayland_;
    QTemporaryDir home_;
    testing::PrivateBus sessionBus_;
    std::unique_ptr<e2e::XServer> xvfb_;
    QProcess kwin_;
    mutable int scripts_ = 0;
};

} // namespace tarvik::desktops
