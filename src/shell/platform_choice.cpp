#include "shell/platform_choice.h"

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

void choosePlatform() {
    const QByteArray platform = preferredPlatform([](const char* name) { return qgetenv(name); });
    if (!platform.isEmpty()) qputenv("QT_QPA_PLATFORM", platform);
}

} // namespace tarvik
