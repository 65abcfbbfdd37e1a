#pragma once
#include <string>

namespace tarvik::comm {

// A port that did not open, told so that its user can mend it:
// "COM2 (/dev/ttyUSB0): Permission denied; you are not in the group dialout ...",
// or just the device for a port named by its path (`portName` the same as
// `device`, see portName in serial/com_names.h). The likely cause is added
// where it can be found: a link in the ports folder that leads nowhere, a group
// the user is not in, the programs holding the port.
std::string describeOpenFailure(const std::string& portName, const std::string& device,
                                int systemError);

} // namespace tarvik::comm
