#pragma once
// The display platform, chosen before the application object is made.
#include <QByteArray>
#include <functional>

namespace tarvik {

// Reads one environment variable; empty when it is unset.
using EnvironmentLookup = std::function<QByteArray(const char* name)>;

// The platform plugin list to ask Qt for, or empty to leave Qt its own choice.
// In a Wayland session that also offers Xwayland, and when the user has not
// chosen a platform, the X11 platform: a native Wayland client can neither
// keep itself on top, nor place its windows, nor raise itself for a caller.
QByteArray preferredPlatform(const EnvironmentLookup& environment);

// Puts the preferred platform into QT_QPA_PLATFORM; call before the
// application object exists. Returns what it asked for (empty: nothing).
QByteArray choosePlatform();

// After the application object exists: when X11 was asked for and Qt fell back
// to native Wayland (Xwayland refused the connection, as it does to a program
// started without XAUTHORITY), says so on standard error, and what is lost.
void tellPlatformFallback(const QByteArray& asked, const QString& platformName);

} // namespace tarvik
