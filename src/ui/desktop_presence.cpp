#include "ui/desktop_presence.h"

#include "platform/desktop_notification.h"
#include "platform/errors.h"
#include "platform/status_notifier.h"
#include "ui/widgets/pictures.h"
#include "ui/widgets/window_withdrawal.h"

#include <QGuiApplication>
#include <QMenu>
#include <QWidget>
#include <QWindow>

namespace tarvik {
namespace {

constexpr int kTrayRetryMs = 250;
constexpr int kCallerTipMs = 60'000;
// A bus that does not answer costs the start this much at most.
constexpr int kTrayKindTimeoutMs = 1000;
// How long a caller's window waits for the window manager to let go of it.
constexpr int kWithdrawalPatienceMs = 500;
constexpr int kAboveGuardMs = 3000;

} // namespace

DesktopPresence::DesktopPresence(QWidget& window, QMenu& trayMenu)
    : window_(window)
    , trayIcon_(&window) {
    // Asked when Qt makes its choice, which it keeps for the whole run.
    trayKind_ = sessionTrayKind();
    trayIcon_.setObjectName(QStringLiteral("TrayIco"));
    trayIcon_.setContextMenu(&trayMenu);
    setPortPicture(false);
    connect(&trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                runWithErrorReport([&] { trayActivated(reason); });
            });
    applyWindowFlags();

    // Shown again for a caller once the window manager has let go of the
    // hidden window, or after waiting for it a while.
    reshow_.setInterval(10);
    connect(&reshow_, &QTimer::timeout, this, withErrorReport([this] {
        if (!windowManagerLetGo(window_) && withdrawing_.elapsed() < kWithdrawalPatienceMs) return;
        reshow_.stop();
        remapForCaller();
    }));
    // A window mapped again can lose its place on top to the manager's late
    // clean-up of the hidden one, whatever WM_STATE said; it is asked for
    // again for a while.
    guardAbove_.setInterval(50);
    connect(&guardAbove_, &QTimer::timeout, this, [this] {
        keepAbove(window_);
        if (sinceReshow_.elapsed() >= kAboveGuardMs) guardAbove_.stop();
    });

    callerTip_.setSingleShot(true);
    callerTip_.setInterval(kCallerTipMs);
    connect(&callerTip_, &QTimer::timeout, this, [this] { trayIcon_.setToolTip({}); });

    trayRetry_.setInterval(kTrayRetryMs);
    connect(&trayRetry_, &QTimer::timeout, this, withErrorReport([this] {
        const bool available = trayProbe_();
        if (available || trayWaited_.elapsed() >= trayPatience_.count()) {
            trayRetry_.stop();
            decideTray(available);
        }
    }));
}

DesktopPresence::~DesktopPresence() = default;

void DesktopPresence::setPortPicture(bool open) {
    trayIcon_.setIcon(tarvik::trayIcon(!open));
}

DesktopPresence::TrayKind DesktopPresence::sessionTrayKind() {
    return statusNotifierHostRegistered(kTrayKindTimeoutMs) ? TrayKind::StatusNotifier
                                                            : TrayKind::XEmbed;
}

void DesktopPresence::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    // An XEmbed tray sends Trigger on every single click, a double click's
    // first one included.
    const QSystemTrayIcon::ActivationReason runsDefault = trayKind_ == TrayKind::StatusNotifier
                                                              ? QSystemTrayIcon::Trigger
                                                              : QSystemTrayIcon::DoubleClick;
    if (reason == runsDefault) emit trayDefaultAsked();
}

void DesktopPresence::startTray(TrayProbe probe, std::chrono::milliseconds patience) {
    trayProbe_ = probe ? std::move(probe) : [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    trayPatience_ = patience;
    trayRetry_.stop();
    const bool available = trayProbe_();
    if (available || patience.count() <= 0) {
        decideTray(available);
        return;
    }
    // A login session may bring its tray up a little after the program.
    trayWaited_.start();
    trayRetry_.start();
}

void DesktopPresence::decideTray(bool available) {
    trayMode_ = available ? TrayMode::Tray : TrayMode::NoTray;
    if (available) {
        trayIcon_.show();
    } else {
        // No way back from a hidden window: show it, with a task-bar entry.
        applyWindowFlags();
        show(ShowFor::User);
    }
    emit trayDecided(available);
}

void DesktopPresence::show(ShowFor showFor) {
    stopShowing();
    emit windowShown(true);
    // Window managers focus a window that is mapped again from minimised;
    // only a fresh map can say that it must not take the keyboard.
    if (showFor == ShowFor::Caller && window_.isVisible() && window_.isMinimized()) {
        window_.hide();
        if (windowManagerLetGo(window_)) return remapForCaller();
        withdrawing_.start();
        reshow_.start();
        return;
    }
    bringToFront(showFor);
}

void DesktopPresence::remapForCaller() {
    bringToFront(ShowFor::Caller);
    if (!onTop_) return;
    sinceReshow_.start();
    guardAbove_.start();
}

void DesktopPresence::stopShowing() {
    reshow_.stop();
    guardAbove_.stop();
}

void DesktopPresence::hide() {
    stopShowing();
    if (trayMode_ == TrayMode::NoTray)
        window_.showMinimized();
    else
        window_.hide();
    emit windowShown(false);
}

void DesktopPresence::bringToFront(ShowFor showFor) {
    const bool forCaller = showFor == ShowFor::Caller;
    // The attribute counts for a window not yet made; once it exists, Qt's
    // platforms read its window's property instead.
    const QVariant withoutActivating = forCaller ? QVariant(true) : QVariant();
    window_.setAttribute(Qt::WA_ShowWithoutActivating, forCaller);
    if (QWindow* handle = window_.windowHandle())
        handle->setProperty("_q_showWithoutActivating", withoutActivating);
    // The window manager can minimise the window whatever its buttons say; a
    // request to show it brings it back from there too.
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    if (!forCaller) window_.activateWindow();
    window_.setAttribute(Qt::WA_ShowWithoutActivating, false);
    if (QWindow* handle = window_.windowHandle())
        handle->setProperty("_q_showWithoutActivating", QVariant());
}

void DesktopPresence::setStaysOnTop(bool onTop) {
    onTop_ = onTop;
    if (!onTop) guardAbove_.stop();
    applyWindowFlags();
}

void DesktopPresence::applyWindowFlags() {
    // A tool window with a close box only; without a tray a normal window, so
    // that it has a task-bar entry and can be minimised.
    Qt::WindowFlags flags =
        Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    flags |= trayMode_ == TrayMode::NoTray
                 ? (Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint)
                 : Qt::Tool;
    if (onTop_) flags |= Qt::WindowStaysOnTopHint;
    if (flags == window_.windowFlags()) return;
    const bool wasVisible = window_.isVisible();
    const bool wasActive = window_.isActiveWindow();
    const QPoint where = window_.pos();
    window_.setWindowFlags(flags);
    if (wasVisible) {
        window_.move(where);
        window_.show();
        // The window is a new one to the window manager: it keeps the place
        // in front and the focus only when asked for them.
        if (wasActive) {
            window_.raise();
            window_.activateWindow();
        }
    }
}

void DesktopPresence::showForCaller(const QString& notice) {
    trayIcon_.setToolTip(notice);
    callerTip_.start();
    show(ShowFor::Caller);
    if (!callerNeedsNotice()) return;
    if (!callerNotification_) setCallerNotification(std::make_unique<DesktopNotification>());
    callerNotification_->show(QStringLiteral("TARVIK"), notice);
}

// Without a tray, or on a native Wayland session that does not raise a window
// for a program, the window alone may not be seen.
bool DesktopPresence::callerNeedsNotice() const {
    return trayMode_ == TrayMode::NoTray ||
           QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void DesktopPresence::setCallerNotification(std::unique_ptr<DesktopNotification> notification) {
    callerNotification_ = std::move(notification);
    // A click on it is the user asking for the window.
    connect(callerNotification_.get(), &DesktopNotification::clicked, this,
            withErrorReport([this] { show(ShowFor::User); }));
}

} // namespace tarvik
