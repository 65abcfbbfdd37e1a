#include "kwin_session.h"

#include "e2e_support.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarvik::desktops {

namespace {

using namespace std::chrono_literals;
using e2e::eventually;

const QString kConnection = QStringLiteral("kwin-session-test");
const QString kWaylandSocket = QStringLiteral("wayland-tarvik");
constexpr char kReport[] = "TARVIK-REPORT ";

} // namespace

KwinSession::KwinSession(bool wayland)
    : wayland_(wayland) {
    if (!start()) fail(home_.filePath(QStringLiteral("kwin.log")));
}

KwinSession::~KwinSession() {
    stopProcess(kwin_);
    QDBusConnection::disconnectFromBus(kConnection);
}

QString KwinSession::name() const {
    return wayland_ ? QStringLiteral("kwin-wayland") : QStringLiteral("kwin-x11");
}

QDBusConnection KwinSession::bus() const {
    return QDBusConnection(kConnection);
}

QProcessEnvironment KwinSession::clientEnvironment() const {
    QProcessEnvironment env;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus_.address());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"),
               wayland_ ? QStringLiteral("wayland") : QStringLiteral("x11"));
    if (wayland_) env.insert(QStringLiteral("WAYLAND_DISPLAY"), kWaylandSocket);
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    return env;
}

bool KwinSession::start() {
    if (sessionBus_.address().isEmpty()) {
        failure_ = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    QProcessEnvironment env = compositorEnvironment(home_.path(), sessionBus_.address());
    // What scripts print goes to KWin's log, where runScript reads it.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kwin_scripting.debug=true"));

    kwin_.setStandardOutputFile(home_.filePath(QStringLiteral("kwin.log")));
    kwin_.setStandardErrorFile(home_.filePath(QStringLiteral("kwin.log")), QIODevice::Append);
    if (wayland_) {
        // Debian's binary carries a file capability that containers may refuse;
        // a copy has none.
        const QString copy = home_.filePath(QStringLiteral("kwin_wayland"));
        if (!QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), copy)) {
            failure_ = QStringLiteral("kwin_wayland not copied");
            return false;
        }
        env.insert(QStringLiteral("KWIN_WAYLAND_NO_PERMISSION_CHECKS"), QStringLiteral("1"));
        kwin_.setProcessEnvironment(env);
        kwin_.start(copy, {QStringLiteral("--virtual"), QStringLiteral("--xwayland"),
                           QStringLiteral("--no-lockscreen"), QStringLiteral("--width"),
                           QStringLiteral("1024"), QStringLiteral("--height"),
                           QStringLiteral("768"), QStringLiteral("--socket"), kWaylandSocket});
    } else {
        xvfb_ = std::make_unique<e2e::XServer>();
        if (!xvfb_->started()) {
            failure_ = QStringLiteral("Xvfb did not start");
            return false;
        }
        display_ = xvfb_->display();
        env.insert(QStringLiteral("DISPLAY"), display_);
        // No compositing on a server without OpenGL.
        env.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("N"));
        kwin_.setProcessEnvironment(env);
        kwin_.start(QStringLiteral("kwin_x11"), {});
    }
    if (!kwin_.waitForStarted(10000)) return false;

    QDBusConnection connection = QDBusConnection::connectToBus(sessionBus_.address(), kConnection);
    if (!connection.isConnected()) {
        failure_ = QStringLiteral("no connection to the session bus");
        return false;
    }
    if (!eventually(
            [&] {
                return connection.interface()
                    ->isServiceRegistered(QStringLiteral("org.kde.KWin"))
                    .value();
            },
            60s)) {
        failure_ = QStringLiteral("KWin did not come up");
        return false;
    }
    if (wayland_ &&
        !eventually([this] { return findXwayland(kwin_.processId(), display_, xauthority_); },
                    30s)) {
        failure_ = QStringLiteral("no Xwayland");
        return false;
    }
    if (!eventually([this] { return !runScript(QStringLiteral("report('ready');")).isEmpty(); },
                    20s)) {
        failure_ = QStringLiteral("KWin runs no scripts");
        return false;
    }
    return true;
}

QString KwinSession::runScript(const QString& body) const {
    const QString token = QString::number(++scripts_);
    const QString path = home_.filePath(QStringLiteral("script-%1.js").arg(token));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    // Plasma 6 renamed the clients windows; the script speaks both.
    file.write(
        QStringLiteral("function report(text) { print('%1%2 ' + text); }\n"
                       "function windows() { return workspace.windowList ? "
                       "workspace.windowList() : workspace.clientList(); }\n"
                       "function active() { return workspace.activeWindow !== undefined ? "
                       "workspace.activeWindow : workspace.activeClient; }\n"
                       "function activate(w) { if (workspace.activeWindow !== undefined) "
                       "workspace.activeWindow = w; else workspace.activeClient = w; }\n%3\n")
            .arg(QLatin1String(kReport), token, body)
            .toUtf8());
    file.close();

    const QString plugin = QStringLiteral("tarvik-test-") + token;
    QDBusMessage load = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
        QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"));
    load << path << plugin;
    const QDBusMessage loaded = bus().call(load);
    if (loaded.type() != QDBusMessage::ReplyMessage) return {};
    const int id = loaded.arguments().value(0).toInt();
    bus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.KWin"), QStringLiteral("/%1").arg(id),
        QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run")));

    const QByteArray marker = QByteArray(kReport) + token.toLatin1() + ' ';
    QByteArray found;
    eventually(
        [&] {
            QFile log(home_.filePath(QStringLiteral("kwin.log")));
            if (!log.open(QIODevice::ReadOnly)) return false;
            const QByteArray text = log.readAll();
            const qsizetype at = text.lastIndexOf(marker);
            if (at < 0) return false;
            found = text.mid(at + marker.size());
            found = found.left(found.indexOf('\n'));
            return true;
        },
        5s);
    QDBusMessage unload = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
        QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"));
    unload << plugin;
    bus().call(unload);
    return QString::fromUtf8(found);
}

DesktopSession::Window KwinSession::window(const QString& title) const {
    const QString found = runScript(QStringLiteral(R"(
var all = windows(), out = [];
for (var i = 0; i < all.length; ++i)
    out.push({title: all[i].caption, minimized: all[i].minimized, active: all[i] === active()});
report(JSON.stringify(out));)"));
    const QJsonArray windows = QJsonDocument::fromJson(found.toUtf8()).array();
    for (const QJsonValue& value : windows) {
        const QJsonObject w = value.toObject();
        if (w.value(QStringLiteral("title")).toString() == title)
            return {title, w.value(QStringLiteral("minimized")).toBool(),
                    w.value(QStringLiteral("active")).toBool()};
    }
    return {};
}

bool KwinSession::giveFocus(const QString& title, QPoint /*at*/) {
    QString quoted = title;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\''), QLatin1String("\\'"));
    runScript(QStringLiteral(R"(
var all = windows();
for (var i = 0; i < all.length; ++i)
    if (all[i].caption === '%1') activate(all[i]);
report('done');)")
                  .arg(quoted));
    return eventually([&] { return window(title).focused; }, 5s);
}

void KwinSession::type(const QStringList& keys) {
    runX(QStringLiteral("xdotool"),
         QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} +
             keys);
}

bool KwinSession::screenshot(const QString& path) const {
    if (wayland_) return false;
    runX(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    return QFile::exists(path);
}

} // namespace tarvik::desktops
