#include "shell/port_adapter.h"

#include "serial/com_names.h"

#include <sys/stat.h>

namespace tarvik {

bool RecoveryPortAdapter::devicePresent() const {
    const std::string path = comm::ComDevicePath(settings_.ComNumber);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool RecoveryPortAdapter::reopen() {
    port_.SetComNumber(settings_.ComNumber);
    port_.SetBaud(settings_.Baud);
    port_.SetOpen(true);
    return port_.Open();
}

} // namespace tarvik
