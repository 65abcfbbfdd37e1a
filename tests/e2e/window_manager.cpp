#include "window_manager.h"

#include "e2e_support.h"

#include <QFile>
#include <QRegularExpression>

namespace tarvik::e2e {
namespace {

// Focus and raise on a click, as a desktop does; one desktop, no margins, no dock.
constexpr char kOpenboxConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <theme><name>Clearlooks</name><titleLayout>NLIMC</titleLayout></theme>
  <desktops><number>1</number></desktops>
  <mouse>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Titlebar">
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
    </context>
  </mouse>
</openbox_config>
)";

// xprop's text of a string property: the quoted value with C escapes, octal
// ones included when the locale does not print the bytes as they are.
QString unquoted(const QByteArray& line) {
    const int open = line.indexOf('"');
    const int close = line.lastIndexOf('"');
    if (open < 0 || close <= open) return {};
    QByteArray bytes;
    for (int i = open + 1; i < close; ++i) {
        if (line[i] != '\\' || i + 1 >= close) {
            bytes += line[i];
            continue;
        }
        int digits = 0;
        int value = 0;
        while (digits < 3 && i + 1 + digits < close && line[i + 1 + digits] >= '0' &&
               line[i + 1 + digits] <= '7')
            value = value * 8 + (line[i + 1 + digits++] - '0');
        if (digits > 0) {
            bytes += static_cast<char>(value);
            i += digits;
        } else {
            bytes += line[++i];
        }
    }
    return QString::fromUtf8(bytes);
}

QByteArray xprop(const XServer& x, const QStringList& args) {
    return runOnDisplay(x, "xprop", args).trimmed();
}

} // namespace

WindowManager::WindowManager(const XServer& x) {
    if (!home_.isValid()) return;
    const QString rc = home_.filePath("rc.xml");
    QFile file(rc);
    if (!file.open(QIODevice::WriteOnly) || file.write(kOpenboxConfig) < 0) return;
    file.close();

    QProcessEnvironment env = displayEnvironment(x.display());
    // Nothing of the user's own desktop: its menus, autostart or session.
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env.insert("XDG_CACHE_HOME", home_.filePath("cache"));
    env.remove("SESSION_MANAGER");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    openbox_.setProcessEnvironment(env);
    openbox_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    openbox_.setStandardOutputFile(QProcess::nullDevice());
    // Now and then, on a busy machine, a start never takes the screen: a new
    // one does.
    for (int attempt = 0; attempt < 3 && !started_; ++attempt) {
        stop();
        started_ = start(x, rc);
    }
}

bool WindowManager::start(const XServer& x, const QString& rc) {
    openbox_.start("openbox", {"--config-file", rc, "--sm-disable"});
    if (!openbox_.waitForStarted(5000)) return false;
    static const QRegularExpression checkWindow(R"(window id # (0x[0-9a-f]+))");
    return eventually(
        [&] {
            if (openbox_.state() != QProcess::Running) return false;
            const auto match = checkWindow.match(
                QString::fromLatin1(xprop(x, {"-root", "_NET_SUPPORTING_WM_CHECK"})));
            return match.hasMatch();
        },
        15s);
}

void WindowManager::stop() {
    if (openbox_.state() == QProcess::NotRunning) return;
    openbox_.terminate();
    if (!openbox_.waitForFinished(3000)) openbox_.kill();
    openbox_.waitForFinished(1000);
}

WindowManager::~WindowManager() {
    stop();
}

QString netWmName(const XServer& x, const QString& window) {
    return unquoted(xprop(x, {"-id", hexId(window), "_NET_WM_NAME"}));
}

QString transientFor(const XServer& x, const QString& window) {
    // "WM_TRANSIENT_FOR(WINDOW): window id # 0x1a00007"
    const QByteArray line = xprop(x, {"-id", hexId(window), "WM_TRANSIENT_FOR"});
    const qsizetype at = line.indexOf("# ");
    return at < 0 ? QString() : hexId(QString::fromLatin1(line.mid(at + 2)));
}

QMargins frameExtents(const XServer& x, const QString& window) {
    // "_NET_FRAME_EXTENTS(CARDINAL) = 1, 1, 21, 5": left, right, top, bottom.
    const QByteArray line = xprop(x, {"-id", hexId(window), "_NET_FRAME_EXTENTS"});
    const QList<QByteArray> values = line.mid(line.indexOf('=') + 1).split(',');
    if (!line.contains('=') || values.size() != 4) return {};
    const auto at = [&values](int i) { return values[i].trimmed().toInt(); };
    return {at(0), at(2), at(1), at(3)};
}

QStringList clientStacking(const XServer& x) {
    const QByteArray line = xprop(x, {"-root", "_NET_CLIENT_LIST_STACKING"});
    QStringList windows;
    static const QRegularExpression id("0x[0-9a-f]+");
    for (auto it = id.globalMatch(QString::fromLatin1(line.mid(line.indexOf('#')))); it.hasNext();)
        windows << hexId(it.next().captured());
    return windows;
}

} // namespace tarvik::e2e
