#include "modem/dialogue.h"

#include "platform/log_categories.h"
#include "platform/tick.h"
#include "store/short_text.h"

namespace tarvik {

bool ModemDialogue::SendModemString(const QByteArray& text) {
    if (!portOpen()) return false;
    if (text.size() > port_->OutFree()) return false;
    qCDebug(lcModem) << "->" << cutShort(text);
    port_->WriteString(cutShort(text));
    return true;
}

QByteArray ModemDialogue::ReadModemLine() {
    QByteArray line;
    const std::uint32_t start = GetTickCount();
    for (;;) {
        bool tookByte = false;
        if (port_ && port_->InCount() > 0) {
            tookByte = true;
            const std::uint8_t byte = port_->ReadByte();
            if (byte == '\n') {
                qCDebug(lcModem) << "<-" << line;
                return line;
            }
            if (byte != '\r' && byte != 0) line += static_cast<char>(byte);
        }
        if (line.size() >= kShortTextMax || TickElapsed(start, kLineBudgetMs)) {
            if (!line.isEmpty()) qCDebug(lcModem) << "<-" << line << "(cut)";
            return line;
        }
        // Nothing waiting: sleep until a byte, a message or the deadline instead of spinning.
        if (!tookByte) waitUntil(start, kLineBudgetMs, [this] { return bytesWaiting(); });
    }
}

QByteArray ModemDialogue::ModemCommand(const QByteArray& text) {
    if (!SendModemString(text)) return {};
    ReadModemLine();
    return ReadModemLine();
}

bool ModemDialogue::TickElapsed(std::uint32_t start, std::uint32_t interval) {
    pump_.processPending();
    return tickIntervalPassed(start, GetTickCount(), interval);
}

void ModemDialogue::PumpDelay(std::uint32_t ms) {
    const std::uint32_t start = GetTickCount();
    for (;;) {
        pump_.processPending();
        if (tickIntervalPassed(start, GetTickCount(), ms)) return;
        waitUntil(start, ms, {});
    }
}

bool ModemDialogue::bytesWaiting() const {
    return port_ && port_->InCount() > 0;
}

void ModemDialogue::waitUntil(std::uint32_t start, std::uint32_t interval,
                              const std::function<bool()>& ready) {
    const std::uint32_t now = GetTickCount();
    if (tickIntervalPassed(start, now, interval)) return;
    // The messages just processed may have taken the reader's one wake-up for a
    // byte that came after the last look: look again before sleeping. A byte
    // after this look wakes the sleep itself.
    if (ready && ready()) return;
    pump_.waitForActivity(interval - (now - start));
}

} // namespace tarvik
