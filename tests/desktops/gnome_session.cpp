#include "gnome_session.h"

#include "e2e_support.h"

#include <QColor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QThread>
#include <QVariantMap>
#include <optional>

namespace tarvik::desktops {

namespace {

const QString kConnection = QStringLiteral("gnome-session-test");
// The shell answers its introspection and screenshot calls only to the names
// of its own portal back end: the test's connection takes one.
const QString kTrustedName = QStringLiteral("org.freedesktop.impl.portal.desktop.gnome");
const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
constexpr uint kLeftButton = 0x110; // BTN_LEFT

using e2e::eventually;

} // namespace

GnomeSession::GnomeSession(bool appIndicator)
    : appIndicator_(appIndicator) {
    if (!start()) fail(home_.filePath(QStringLiteral("shell.log")));
}

GnomeSession::~GnomeSession() {
    if (!remoteSession_.isEmpty())
        bus().call(QDBusMessage::createMethodCall(kRemoteDesktop, remoteSession_,
                                                  kRemoteDesktop + QStringLiteral(".Session"),
                                                  QStringLiteral("Stop")));
    stopProcess(shell_);
    stopProcess(logind_);
    QDBusConnection::disconnectFromBus(kConnection);
}

QDBusConnection GnomeSession::bus() const {
    return QDBusConnection(kConnection);
}

QProcessEnvironment GnomeSession::clientEnvironment() const {
    QProcessEnvironment env;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus_.address());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("XAUTHORITY"), xauthority_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    return env;
}

bool GnomeSession::gsettings(const QStringList& args) const {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QProcessEnvironment own = clientEnvironment();
    for (const QString& key :
         {QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("XDG_RUNTIME_DIR")})
        env.insert(key, own.value(key));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("gsettings"), QStringList{QStringLiteral("set")} + args);
    return tool.waitForFinished(10000) && tool.exitCode() == 0;
}

bool GnomeSession::start() {
    if (systemBus_.address().isEmpty() || sessionBus_.address().isEmpty()) {
        failure_ = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    QProcessEnvironment env = compositorEnvironment(home_.path(), sessionBus_.address());
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus_.address());

    // The shell asks logind for its session; dbusmock's template answers.
    logind_.setProcessEnvironment(env);
    logind_.setStandardOutputFile(QProcess::nullDevice());
    logind_.setStandardErrorFile(home_.filePath(QStringLiteral("logind.log")));
    logind_.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                   QStringLiteral("--template"), QStringLiteral("logind")});

    QDBusConnection connection = QDBusConnection::connectToBus(sessionBus_.address(), kConnection);
    if (!connection.isConnected() || !connection.registerService(kTrustedName)) {
        failure_ = QStringLiteral("no connection to the session bus");
        return false;
    }
    // Services the bus starts (dconf's among them) live in the session's folders.
    QDBusMessage activation = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QMap<QString, QString> folders;
    for (const char* key :
         {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        folders.insert(QLatin1String(key), env.value(QLatin1String(key)));
    activation << QVariant::fromValue(folders);
    connection.call(activation);

    const QString extensions = appIndicator_ ? QStringLiteral("['ubuntu-appindicators@ubuntu.com']")
                                             : QStringLiteral("[]");
    if (!gsettings({QStringLiteral("org.gnome.shell"), QStringLiteral("enabled-extensions"),
                    extensions}) ||
        !gsettings({QStringLiteral("org.gnome.shell"), QStringLiteral("disable-user-extensions"),
                    QStringLiteral("false")}) ||
        !gsettings({QStringLiteral("org.gnome.shell"),
                    QStringLiteral("welcome-dialog-last-shown-version"),
                    QStringLiteral("'999'")}) ||
        !gsettings({QStringLiteral("org.gnome.desktop.interface"),
                    QStringLiteral("enable-animations"), QStringLiteral("false")}) ||
        // The pointer goes to the top left corner before each click.
        !gsettings({QStringLiteral("org.gnome.desktop.interface"),
                    QStringLiteral("enable-hot-corners"), QStringLiteral("false")})) {
        failure_ = QStringLiteral("gsettings failed");
        return false;
    }

    shell_.setProcessEnvironment(env);
    shell_.setStandardOutputFile(home_.filePath(QStringLiteral("shell.log")));
    shell_.setStandardErrorFile(home_.filePath(QStringLiteral("shell.log")), QIODevice::Append);
    shell_.start(QStringLiteral("gnome-shell"),
                 {QStringLiteral("--headless"), QStringLiteral("--wayland"),
                  QStringLiteral("--virtual-monitor"), QStringLiteral("1024x768"),
                  QStringLiteral("--sm-disable")});
    if (!shell_.waitForStarted(10000)) return false;

    QDBusConnectionInterface* names = connection.interface();
    const auto registered = [names](const QString& name) {
        return names->isServiceRegistered(name).value();
    };
    if (!eventually(
            [&] {
                return registered(QStringLiteral("org.gnome.Shell")) && registered(kRemoteDesktop);
            },
            std::chrono::milliseconds(60000))) {
        failure_ = QStringLiteral("the shell did not come up");
        return false;
    }
    if (!eventually([this] { return findXwayland(shell_.processId(), display_, xauthority_); },
                    std::chrono::milliseconds(30000))) {
        failure_ = QStringLiteral("no Xwayland");
        return false;
    }
    if (appIndicator_ &&
        !eventually([&] { return registered(QStringLiteral("org.kde.StatusNotifierWatcher")); },
                    std::chrono::milliseconds(20000))) {
        failure_ = QStringLiteral("the AppIndicator extension does not run");
        return false;
    }
    // The shell's notification service is a process of its own, started on demand.
    connection.asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell.Notifications"),
        QStringLiteral("/org/gnome/Shell/Notifications"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    if (!eventually([&] { return registered(QStringLiteral("org.freedesktop.Notifications")); },
                    std::chrono::milliseconds(20000))) {
        failure_ = QStringLiteral("no notification service");
        return false;
    }

    const QDBusMessage created = connection.call(QDBusMessage::createMethodCall(
        kRemoteDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop,
        QStringLiteral("CreateSession")));
    if (created.type() != QDBusMessage::ReplyMessage) {
        failure_ = QStringLiteral("no remote-desktop session: ") + created.errorMessage();
        return false;
    }
    remoteSession_ = created.arguments().value(0).value<QDBusObjectPath>().path();
    connection.call(QDBusMessage::createMethodCall(kRemoteDesktop, remoteSession_,
                                                   kRemoteDesktop + QStringLiteral(".Session"),
                                                   QStringLiteral("Start")));
    // The shell starts in its overview, and a user leaves it for the desktop.
    const auto overview = [&connection](std::optional<bool> set = std::nullopt) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
            QStringLiteral("org.freedesktop.DBus.Properties"),
            set ? QStringLiteral("Set") : QStringLiteral("Get"));
        call << QStringLiteral("org.gnome.Shell") << QStringLiteral("OverviewActive");
        if (set) call << QVariant::fromValue(QDBusVariant(*set));
        const QDBusMessage reply = connection.call(call);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    };
    // Left too early, the start-up brings it back: left until it stays away.
    int awayFor = 0;
    if (!eventually(
            [&] {
                if (overview()) overview(false);
                awayFor = overview() ? 0 : awayFor + 1;
                return awayFor >= 20;
            },
            std::chrono::milliseconds(20000))) {
        failure_ = QStringLiteral("the overview stays");
        return false;
    }
    return true;
}

DesktopSession::Window GnomeSession::window(const QString& title) const {
    const QDBusMessage reply = bus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell/Introspect"),
        QStringLiteral("org.gnome.Shell.Introspect"), QStringLiteral("GetWindows")));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        QMap<qulonglong, QVariantMap> all;
        reply.arguments().constFirst().value<QDBusArgument>() >> all;
        for (const QVariantMap& properties : std::as_const(all))
            if (properties.value(QStringLiteral("title")).toString() == title)
                return {title, properties.value(QStringLiteral("is-hidden")).toBool(),
                        properties.value(QStringLiteral("has-focus")).toBool()};
    }
    // The shell lists no window that stays off the task bar.
    return xWindow(title);
}

void GnomeSession::click(QPoint at, int times) {
    const auto notify = [this](const QString& method, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kRemoteDesktop, remoteSession_, kRemoteDesktop + QStringLiteral(".Session"), method);
        call.setArguments(args);
        bus().call(call);
    };
    // Relative moves only (absolute ones need a screen stream): to the corner first.
    notify(QStringLiteral("NotifyPointerMotionRelative"), {-10000.0, -10000.0});
    notify(QStringLiteral("NotifyPointerMotionRelative"), {double(at.x()), double(at.y())});
    QThread::msleep(100);
    for (int i = 0; i < times; ++i) {
        notify(QStringLiteral("NotifyPointerButton"), {int(kLeftButton), true});
        notify(QStringLiteral("NotifyPointerButton"), {int(kLeftButton), false});
        QThread::msleep(60);
    }
}

bool GnomeSession::clickTrayIcon(int times) {
    if (!appIndicator_) return false;
    // The extension puts the icon into the top bar, whose other items are
    // white on black: the icon is where the bar shows its blue letters.
    const QString path = home_.filePath(QStringLiteral("bar.png"));
    if (!screenshot(path)) return false;
    const QImage screen(path);
    for (int x = screen.width() - 1; x >= 0; --x)
        for (int y = 4; y < 28; ++y) {
            const QColor pixel = screen.pixelColor(x, y);
            if (pixel.blue() > 150 && pixel.red() < 100 && pixel.green() < 150) {
                click({x - 6, 16}, times);
                return true;
            }
        }
    return false;
}

QString GnomeSession::name() const {
    return appIndicator_ ? QStringLiteral("gnome-appindicator") : QStringLiteral("gnome-plain");
}

bool GnomeSession::giveFocus(const QString& title, QPoint at) {
    // Again while the window may still be settling.
    return eventually(
        [&] {
            click(at, 1);
            return eventually([&] { return window(title).focused; }, std::chrono::seconds(1));
        },
        // A shell slowed by a loaded machine may take its time to settle.
        std::chrono::seconds(30));
}

void GnomeSession::type(const QStringList& keys) {
    static const QHash<QString, uint> keysyms{{QStringLiteral("space"), 0x20},
                                              {QStringLiteral("p"), 0x70},
                                              {QStringLiteral("Escape"), 0xff1b}};
    for (const QString& key : keys) {
        const uint keysym = keysyms.value(key);
        for (bool pressed : {true, false}) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                kRemoteDesktop, remoteSession_, kRemoteDesktop + QStringLiteral(".Session"),
                QStringLiteral("NotifyKeyboardKeysym"));
            call << keysym << pressed;
            bus().call(call);
        }
        QThread::msleep(60);
    }
}

bool GnomeSession::screenshot(const QString& path) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("/org/gnome/Shell/Screenshot"),
        QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("Screenshot"));
    call << false << false << path;
    const QDBusMessage reply = bus().call(call);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

} // namespace tarvik::desktops
