#pragma once
#include <random>
#include <string>

namespace tarvik::modemsim {

// A plausible caller as the exchange reports it: mostly a 7-digit local number, sometimes a
// 10-digit long-distance one, each followed by the caller's category digit (mostly 1);
// now and then "Unknown".
std::string randomCallerNumber(std::mt19937& random);

// The same caller as an ordinary caller-ID modem shows it: no category digit, and "O"
// (out of area) for an unknown one.
std::string withoutCategory(std::string number);

} // namespace tarvik::modemsim
