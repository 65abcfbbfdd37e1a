#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace tarvik {
namespace {

QString absoluteEnvOr(const char* name, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(name);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}

QString withSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

} // namespace

QString xdgConfigHome() {
    return absoluteEnvOr("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString xdgDataHome() {
    return absoluteEnvOr("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString tarvikConfigDir() {
    return xdgConfigHome() + QStringLiteral("/Tarvik");
}

QString portsDir() {
    return tarvikConfigDir() + QStringLiteral("/ports");
}

QString executableDir() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return withSlash(QFileInfo(exe).absolutePath());
}

bool isInstalledProgramFolder(const QString& dir) {
    // Even where root may write there, the system's program folders hold no user data.
    for (const char* system : {"/usr/", "/bin/", "/sbin/", "/opt/", "/snap/"})
        if (dir.startsWith(QLatin1String(system))) return true;
    return ::access(QFile::encodeName(dir).constData(), W_OK) != 0;
}

QString ProgramDir() {
    const QString own = executableDir();
    if (!isInstalledProgramFolder(own)) return own;
    const QString data = xdgDataHome() + QStringLiteral("/Tarvik");
    QDir().mkpath(data);
    return withSlash(data);
}

} // namespace tarvik
