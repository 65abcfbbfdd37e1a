#include "desktop_session.h"

#include "e2e_support.h"
#include "gnome_session.h"
#include "kwin_session.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace tarvik::desktops {

std::unique_ptr<DesktopSession> DesktopSession::start(Kind kind) {
    switch (kind) {
    case Kind::GnomeWithAppIndicator:
        return std::make_unique<GnomeSession>(true);
    case Kind::GnomePlain:
        return std::make_unique<GnomeSession>(false);
    case Kind::KwinWayland:
        return std::make_unique<KwinSession>(true);
    case Kind::KwinX11:
        return std::make_unique<KwinSession>(false);
    }
    return nullptr;
}

QProcessEnvironment DesktopSession::xEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    if (xauthority_.isEmpty())
        env.remove(QStringLiteral("XAUTHORITY"));
    else
        env.insert(QStringLiteral("XAUTHORITY"), xauthority_);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

QByteArray DesktopSession::runX(const QString& program, const QStringList& args) const {
    QProcess tool;
    tool.setProcessEnvironment(xEnvironment());
    tool.start(program, args);
    if (!tool.waitForFinished(15000)) tool.kill();
    return tool.readAllStandardOutput();
}

QStringList DesktopSession::stacking() const {
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
        for (const QByteArray& entry : names.split('\n'))
            if (name.isEmpty() && entry.contains('"')) name = entry;
        const qsizetype open = name.indexOf('"');
        titles << QString::fromUtf8(name.mid(open + 1, name.lastIndexOf('"') - open - 1));
    }
    return titles;
}

bool DesktopSession::minimise(const QString& title) {
    // Asked again while the window may still be settling.
    return e2e::eventually([&] {
        runX(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--name"),
              QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$'),
              QStringLiteral("windowminimize")});
        return e2e::eventually([&] { return window(title).hidden; }, std::chrono::seconds(1));
    });
}

DesktopSession::Window DesktopSession::xWindow(const QString& title) const {
    const QByteArray ids =
        runX(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--name"),
              QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    for (const QByteArray& id : ids.split('\n')) {
        if (id.isEmpty()) continue;
        const QByteArray state = runX(
            QStringLiteral("xprop"), {QStringLiteral("-id"), QString::fromLatin1(id),
                                      QStringLiteral("WM_STATE"), QStringLiteral("_NET_WM_STATE")});
        if (!state.contains("window state: ")) continue;
        const QByteArray active =
            runX(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).trimmed();
        return {title,
                !state.contains("window state: Normal") || state.contains("_NET_WM_STATE_HIDDEN"),
                active == id};
    }
    return {};
}

QProcessEnvironment DesktopSession::compositorEnvironment(const QString& home,
                                                          const QString& sessionBus) {
    const QDir folder(home);
    folder.mkpath(QStringLiteral("run"));
    QFile::setPermissions(folder.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* key : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(key));
    env.insert(QStringLiteral("HOME"), home);
    for (const auto& [key, name] : {std::pair{"XDG_RUNTIME_DIR", "run"},
                                    {"XDG_CONFIG_HOME", "config"},
                                    {"XDG_DATA_HOME", "data"},
                                    {"XDG_CACHE_HOME", "cache"}})
        env.insert(QLatin1String(key), folder.filePath(QLatin1String(name)));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
    return env;
}

void DesktopSession::fail(const QString& log) {
    if (failure_.isEmpty()) failure_ = QStringLiteral("not started");
    QFile file(log);
    if (file.open(QIODevice::ReadOnly))
        failure_ +=
            QStringLiteral("\n--- log:\n") + QString::fromLocal8Bit(file.readAll().right(3000));
}

void stopProcess(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(1000);
}

bool findXwayland(qint64 compositorPid, QString& display, QString& xauthority) {
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")});
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // "PID (comm) STATE PPID ..."; comm may hold blanks, so read after its ')'.
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (!line.contains("(Xwayland)") || rest.size() < 2 ||
            rest[1].toLongLong() != compositorPid)
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

} // namespace tarvik::desktops
