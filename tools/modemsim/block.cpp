#include "block.h"

#include <algorithm>

namespace tarvik::modemsim {
namespace {

std::string twoDigits(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

} // namespace

CallerIdBlock callerIdBlock(CallerIdKind kind, std::string_view number,
                            const std::optional<std::string>& name, const std::tm& when) {
    const std::string_view equals = kind == CallerIdKind::Compact ? "=" : " = ";
    CallerIdBlock block;
    const auto line = [&](std::string_view field, std::string_view value) {
        block.text.append(field).append(equals).append(value).append("\r\n");
    };
    // UK modems put the message type first.
    if (kind == CallerIdKind::BeforeRing) line("MESG", "110101");
    line("DATE", twoDigits(when.tm_mon + 1) + twoDigits(when.tm_mday));
    line("TIME", twoDigits(when.tm_hour) + twoDigits(when.tm_min));
    block.splitAt = block.text.size() + 4 + equals.size() + std::min<std::size_t>(3, number.size());
    line("NMBR", number);
    if (name) line("NAME", *name);
    return block;
}

} // namespace tarvik::modemsim
