#pragma once

namespace tarvik {

// Whether a StatusNotifierItem host (KDE's tray, GNOME's AppIndicator
// extension) is registered on the session bus; asked once, waiting at most
// `timeoutMs` for a bus that does not answer.
bool statusNotifierHostRegistered(int timeoutMs);

} // namespace tarvik
