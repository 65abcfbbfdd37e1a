#pragma once
#include <string>

namespace tarvik::comm {

// A port that did not open, told so that its user can mend it:
// "COM2 (/dev/ttyUSB0): Permission denied; you are not in the group dialout ...".
// The likely cause is added where it can be found: a link in the ports folder
// that leads nowhere, a group the user is not in, the programs holding the port.
std::string describeOpenFailure(int comNumber, const std::string& device, int systemError);

} // namespace tarvik::comm
