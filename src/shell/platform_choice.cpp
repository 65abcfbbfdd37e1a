#include "shell/platform_choice.h"

#include <QString>
#include <QtGlobal>

namespace tarvik {

QByteArray preferredPlatform(const EnvironmentLookup& environment) {
    if (!environment("QT_QPA_PLATFORM").isEmpty()) return {};
    const bool waylandSession =
        !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    if (!waylandSession || environment("DISPLAY").isEmpty()) return {};
    // Wayland stays as the fallback should Xwayland refuse the connection.
    return QByteArrayLiteral("xcb;wayland");
}

QByteArray choosePlatform() {
    const QByteArray platform = preferredPlatform([](const char* name) { return qgetenv(name); });
    if (!platform.isEmpty()) qputenv("QT_QPA_PLATFORM", platform);
    return platform;
}

void tellPlatformFallback(const QByteArray& asked, const QString& platformName) {
    if (!asked.startsWith("xcb") || platformName != QLatin1String("wayland")) return;
    qWarning("TARVIK: the X server of this Wayland session (DISPLAY=%s) refused the connection "
             "(is XAUTHORITY set?); running as a native Wayland program, which cannot stay on "
             "top, keep its windows' places or come to the front for a caller.",
             qgetenv("DISPLAY").constData());
}

} // namespace tarvik
