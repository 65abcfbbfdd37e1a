#pragma once

namespace tarvik {

// Tells systemd the service's state ("READY=1", "STOPPING=1") when it runs
// the service with Type=notify; nothing otherwise.
void notifySystemd(const char* state);

} // namespace tarvik
