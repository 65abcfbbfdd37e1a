#pragma once
#include <QString>

namespace tarvik {

// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
QString xdgConfigHome();
// $XDG_DATA_HOME, or ~/.local/share.
QString xdgDataHome();

// Folder of the per-user store: <config>/Tarvik
QString tarvikConfigDir();
// Folder where COMn links name the serial devices: <config>/Tarvik/ports
QString portsDir();

// Folder of the running executable with a trailing '/'; when that folder is not
// writable (a system-wide install) <data>/Tarvik/ instead, created on demand.
QString ProgramDir();

// True for a folder of installed programs (a system folder, or one the user
// cannot write), where the phone book and the log must not go.
bool isInstalledProgramFolder(const QString& dir);

// The folder of the executable itself, with a trailing '/'.
QString executableDir();

} // namespace tarvik
