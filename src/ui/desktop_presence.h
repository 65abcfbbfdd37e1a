#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace tarvik {

class DesktopNotification;

// How the desktop treats the main window: the tray icon, or without a tray a
// normal window with a task-bar entry; showing the window for a caller without
// taking the keyboard; a notification where the window alone may not be seen.
// The window keeps its widgets and keys and asks this for the rest.
class DesktopPresence : public QObject {
    Q_OBJECT

public:
    // Where the tray is: still deciding, the system tray, or none (the window
    // then shows at start, has a task-bar entry and "Hide" minimises it).
    enum class TrayMode { Undecided, Tray, NoTray };
    using TrayProbe = std::function<bool()>;
    // How the tray reports clicks: an XEmbed tray (the icon is a window of
    // ours) sends a double click; a StatusNotifierItem host on the session bus
    // sends only an activation, which it makes of a single click.
    enum class TrayKind { XEmbed, StatusNotifier };
    // Who the window is shown for: the user, who gets the keyboard with it, or
    // a caller, who must not take it from the program the user is typing into.
    enum class ShowFor { User, Caller };

    // `trayMenu` is the tray icon's menu; both must outlive this.
    DesktopPresence(QWidget& window, QMenu& trayMenu);
    ~DesktopPresence() override;

    QSystemTrayIcon& trayIcon() { return trayIcon_; }
    // The tray picture is struck through while the port is closed.
    void setPortPicture(bool open);

    // Shows the tray icon when the desktop has a tray, asking `probe` (by
    // default QSystemTrayIcon::isSystemTrayAvailable) again every 250 ms for
    // `patience`; without a tray the window is shown instead.
    void startTray(TrayProbe probe = {},
                   std::chrono::milliseconds patience = std::chrono::milliseconds(3000));
    TrayMode trayMode() const { return trayMode_; }
    // The kind Qt chooses for this session: StatusNotifierItem exactly when
    // the session bus has a registered host. Set from it as the icon is made.
    static TrayKind sessionTrayKind();
    void setTrayKind(TrayKind kind) { trayKind_ = kind; }
    TrayKind trayKind() const { return trayKind_; }

    void show(ShowFor showFor);
    // Into the tray, or minimised where there is none.
    void hide();
    void setStaysOnTop(bool onTop);

    // The window shown for a caller, the tray's tooltip naming the caller for
    // as long as a call may ring, and a notification where the desktop needs
    // one.
    void showForCaller(const QString& notice);
    // By default the session's notification service.
    void setCallerNotification(std::unique_ptr<DesktopNotification> notification);

signals:
    void trayDecided(bool trayAvailable);
    // The window was asked into view or out of it.
    void windowShown(bool shown);
    // The tray's click that runs the menu's default item.
    void trayDefaultAsked();

private:
    void decideTray(bool available);
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void stopShowing();
    void remapForCaller();
    void bringToFront(ShowFor showFor);
    void applyWindowFlags();
    bool callerNeedsNotice() const;

    QWidget& window_;
    QSystemTrayIcon trayIcon_;
    bool onTop_ = true; // designed always-on-top
    TrayMode trayMode_ = TrayMode::Undecided;
    TrayKind trayKind_ = TrayKind::XEmbed;
    TrayProbe trayProbe_;
    QTimer trayRetry_;
    QElapsedTimer trayWaited_;
    std::chrono::milliseconds trayPatience_{0};
    std::unique_ptr<DesktopNotification> callerNotification_;
    QTimer reshow_;
    QElapsedTimer withdrawing_;
    QTimer guardAbove_;
    QElapsedTimer sinceReshow_;
    QTimer callerTip_;
};

} // namespace tarvik
