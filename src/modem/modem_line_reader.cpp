#include "modem/modem_line_reader.h"

#include "modem/dialogue.h"
#include "platform/log_categories.h"
#include "platform/tick.h"
#include "store/short_text.h"

namespace tarvik {

void ModemLineReader::take(ModemPort& port, std::uint32_t now, QList<QByteArray>& lines) {
    if (!partial_.isEmpty() && tickIntervalPassed(lastByteAt_, now, kSplitMaxMs)) end(lines);
    for (int waiting = port.isOpen() ? port.InCount() : 0; waiting > 0; --waiting) {
        const char byte = static_cast<char>(port.ReadByte());
        lastByteAt_ = now;
        if (byte == '\n') {
            end(lines);
            continue;
        }
        if (byte == '\r' || byte == 0) continue;
        partial_ += byte;
        if (partial_.size() >= kShortTextMax) end(lines);
    }
}

std::optional<std::uint32_t> ModemLineReader::due() const {
    if (partial_.isEmpty()) return std::nullopt;
    return lastByteAt_ + kSplitMaxMs;
}

void ModemLineReader::end(QList<QByteArray>& lines) {
    if (!partial_.isEmpty()) {
        qCDebug(lcModem) << "<-" << partial_;
        lines.append(partial_);
    }
    partial_.clear();
}

} // namespace tarvik
