#include "engine/port_adapter.h"

#include "serial/com_names.h"

#include <QFile>

#include <sys/stat.h>

namespace tarvik {

std::string configuredDevice(const SettingsRecord& settings) {
    return QFile::encodeName(settings.Device).toStdString();
}

void applyPortSettings(TCommPort& port, const SettingsRecord& settings) {
    port.SetComNumber(settings.ComNumber);
    port.SetDevicePath(configuredDevice(settings));
    port.SetBaud(settings.Baud);
}

bool RecoveryPortAdapter::devicePresent() const {
    const std::string path = comm::portDevicePath(settings_.ComNumber, configuredDevice(settings_));
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool RecoveryPortAdapter::reopen() {
    applyPortSettings(port_, settings_);
    port_.SetOpen(true);
    return port_.Open();
}

} // namespace tarvik
