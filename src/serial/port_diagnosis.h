#pragma once
#include "serial/comm_device.h"

#include <string>

namespace tarvik::comm {

// Why a port did not open: the device's error, the port as people know it
// (portName in serial/com_names.h) and the device tried. Empty when none failed.
struct PortError : DeviceError {
    std::string portName;
    std::string device;

    bool failed() const noexcept { return code != ERROR_SUCCESS; }
    // Told so that its user can mend it: "COM2 (/dev/ttyUSB0): Permission denied;
    // you are not in the group dialout ...", or just the device for a port named
    // by its path. The likely cause is added where it can be found: a link in the
    // ports folder that leads nowhere, a group the user is not in, the programs
    // holding the port.
    std::string errorString() const;
};

} // namespace tarvik::comm
