#pragma once
#include "settings.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::modemsim {

// What an ordinary caller-ID modem sends about a call: its lines, each ended by CR LF.
// Framed like any result (CR LF before, CR LF after) it is the whole block.
struct CallerIdBlock {
    std::string text;
    std::size_t splitAt = 0; // in text: after the first three characters of the number
};

// For the kinds that send a block (spaced, compact, before-ring).
CallerIdBlock callerIdBlock(CallerIdKind kind, std::string_view number,
                            const std::optional<std::string>& name, const std::tm& when);

} // namespace tarvik::modemsim
