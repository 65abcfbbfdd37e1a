#include "gnome_session.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
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

bool waitUntil(const std::function<bool()>& condition, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(100);
    }
    return true;
}

// Xwayland started by the shell: its display and authority file, from its
// command line ("Xwayland :0 -rootless ... -auth FILE ...").
bool xwaylandOf(qint64 shellPid, QString& display, QString& xauthority) {
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")});
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // "PID (comm) STATE PPID ..."; comm may hold blanks, so read after its ')'.
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (!line.contains("(Xwayland)") || rest.size() < 2 || rest[1].toLongLong() != shellPid)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args[i].startsWith(':')) display = QString::fromLatin1(args[i]);
            if (args[i] == "-auth" && i + 1 < args.size())
                xauthority = QString::fromLocal8Bit(args[i + 1]);
        }
        return !display.isEmpty();
    }
    return false;
}

} // namespace

GnomeSession::GnomeSession(bool appIndicator) {
    if (!start(appIndicator) && failure_.isEmpty()) failure_ = QStringLiteral("not started");
    if (!failure_.isEmpty()) {
        QFile log(home_.filePath(QStringLiteral("shell.log")));
        if (log.open(QIODevice::ReadOnly))
            failure_ += QStringLiteral("\n--- shell:\n") +
                        QString::fromLocal8Bit(log.readAll().right(3000));
    }
}

GnomeSession::~GnomeSession() {
    if (!remoteSession_.isEmpty())
        bus().call(QDBusMessage::createMethodCall(kRemoteDesktop, remoteSession_,
                                                  kRemoteDesktop + QStringLiteral(".Session"),
                                                  QStringLiteral("Stop")));
    for (QProcess* process : {&shell_, &logind_}) {
        process->terminate();
        if (!process->waitForFinished(5000)) process->kill();
        process->waitForFinished(1000);
    }
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

bool GnomeSession::start(bool appIndicator) {
    if (systemBus_.address().isEmpty() || sessionBus_.address().isEmpty()) {
        failure_ = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    QDir(home_.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home_.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* key : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(key));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home_.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home_.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus_.address());
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

    const QString extensions =
        appIndicator ? QStringLiteral("['ubuntu-appindicators@ubuntu.com']") : QStringLiteral("[]");
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
    if (!waitUntil(
            [&] {
                return registered(QStringLiteral("org.gnome.Shell")) && registered(kRemoteDesktop);
            },
            60000)) {
        failure_ = QStringLiteral("the shell did not come up");
        return false;
    }
    if (!waitUntil([this] { return findXwayland(); }, 30000)) {
        failure_ = QStringLiteral("no Xwayland");
        return false;
    }
    if (appIndicator &&
        !waitUntil([&] { return registered(QStringLiteral("org.kde.StatusNotifierWatcher")); },
                   20000)) {
        failure_ = QStringLiteral("the AppIndicator extension does not run");
        return false;
    }
    // The shell's notification service is a process of its own, started on demand.
    connection.asyncCall(QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell.Notifications"),
        QStringLiteral("/org/gnome/Shell/Notifications"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    if (!waitUntil([&] { return registered(QStringLiteral("org.freedesktop.Notifications")); },
                   20000)) {
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
    if (!waitUntil(
            [&] {
                if (overview()) overview(false);
                awayFor = overview() ? 0 : awayFor + 1;
                return awayFor >= 20;
            },
            20000)) {
        failure_ = QStringLiteral("the overview stays");
        return false;
    }
    return true;
}

bool GnomeSession::findXwayland() {
    return xwaylandOf(shell_.processId(), display_, xauthority_);
}

QList<GnomeSession::Window> GnomeSession::windows() const {
    const QDBusMessage reply = bus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell/Introspect"),
        QStringLiteral("org.gnome.Shell.Introspect"), QStringLiteral("GetWindows")));
    QList<Window> found;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return found;
    QMap<qulonglong, QVariantMap> all;
    reply.arguments().constFirst().value<QDBusArgument>() >> all;
    for (const QVariantMap& properties : std::as_const(all))
        found.append({properties.value(QStringLiteral("title")).toString(),
                      properties.value(QStringLiteral("wm-class")).toString(),
                      properties.value(QStringLiteral("is-hidden")).toBool(),
                      properties.value(QStringLiteral("has-focus")).toBool()});
    return found;
}

GnomeSession::Window GnomeSession::window(const QString& title) const {
    for (const Window& w : windows())
        if (w.title == title) return w;
    // The shell lists no window that stays off the task bar (a tray program's
    // tool window): what it tells the X clients about it stands in.
    const QByteArray ids =
        runX(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--name"),
              QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    for (const QByteArray& id : ids.split('\n')) {
        const QByteArray state = runX(
            QStringLiteral("xprop"), {QStringLiteral("-id"), QString::fromLatin1(id),
                                      QStringLiteral("WM_STATE"), QStringLiteral("_NET_WM_STATE")});
        if (id.isEmpty() || !state.contains("window state: ")) continue;
        const QByteArray active =
            runX(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).trimmed();
        return {title,
                {},
                !state.contains("window state: Normal") || state.contains("_NET_WM_STATE_HIDDEN"),
                active == id};
    }
    return {};
}

QStringList GnomeSession::stacking() const {
    // "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x400007, 0x600003"
    const QByteArray line =
        runX(QStringLiteral("xprop"),
             {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QStringList titles;
    for (const QByteArray& id : line.mid(line.indexOf('#') + 1).split(',')) {
        // X toolkit programs (xlogo) set only the old WM_NAME.
        const QByteArray names = runX(QStringLiteral("xprop"),
                                      {QStringLiteral("-id"), QString::fromLatin1(id.trimmed()),
                                       QStringLiteral("_NET_WM_NAME"), QStringLiteral("WM_NAME")});
        QByteArray name;
        for (const QByteArray& line : names.split('\n'))
            if (name.isEmpty() && line.contains('"')) name = line;
        const qsizetype open = name.indexOf('"');
        titles << QString::fromUtf8(name.mid(open + 1, name.lastIndexOf('"') - open - 1));
    }
    return titles;
}

void GnomeSession::click(QPoint at) {
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
    notify(QStringLiteral("NotifyPointerButton"), {int(kLeftButton), true});
    notify(QStringLiteral("NotifyPointerButton"), {int(kLeftButton), false});
}

void GnomeSession::type(const QList<uint>& keysyms) {
    for (uint keysym : keysyms) {
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

QByteArray GnomeSession::runX(const QString& program, const QStringList& args) const {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("XAUTHORITY"), xauthority_);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    tool.setProcessEnvironment(env);
    tool.start(program, args);
    if (!tool.waitForFinished(15000)) tool.kill();
    return tool.readAllStandardOutput();
}

} // namespace tarvik::desktops
