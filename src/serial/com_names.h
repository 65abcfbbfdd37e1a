#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::comm {

// "\\.\COM" followed by the number in decimal.
std::string ComPortName(int number);

// The number of a COM name ("\\.\COM7", also "COM7", any case); none otherwise.
std::optional<int> ComNumberOf(std::string_view name);

// The device behind COMn: the entry COMn in the ports folder when there is one
// (a link to the device, or a file whose first line is the device's path),
// otherwise /dev/ttyS{n-1}. Empty for numbers below 1.
std::string ComDevicePath(int number);

// The device a port opens: `device` when set, otherwise the device behind COMn.
std::string portDevicePath(int comNumber, const std::string& device);

// The port as people know it: "COM2", or the device path that names it.
std::string portName(int comNumber, const std::string& device);

} // namespace tarvik::comm
