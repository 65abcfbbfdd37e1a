#pragma once
#include "modem/modem_port.h"
#include "platform/event_pump.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

namespace tarvik {

inline constexpr std::uint32_t kLineBudgetMs = 600;

// The text dialogue with the modem, on the UI thread: commands out, reply lines
// in, and waits that keep the window alive.
class ModemDialogue {
public:
    ModemDialogue(ModemPort* port, EventPump& pump)
        : port_(port)
        , pump_(pump) {}

    void setPort(ModemPort* port) { port_ = port; }
    ModemPort* port() const { return port_; }
    bool portOpen() const { return port_ && port_->isOpen(); }

    // Queues the text (cut to 255) only when it fits whole into the output buffer.
    bool SendModemString(const QByteArray& text);
    // One reply line up to LF, CR and NUL dropped, at most 255 characters, within
    // 600 ms from the call's start.
    QByteArray ReadModemLine();
    // Sends the text and returns the second line read back.
    QByteArray ModemCommand(const QByteArray& text);

    bool TickElapsed(std::uint32_t start, std::uint32_t interval);
    void PumpDelay(std::uint32_t ms);

    // Processes what is waiting; the dial wait does this on every pass.
    void processMessages() { pump_.processPending(); }

private:
    bool bytesWaiting() const;
    // Sleeps until something happens or `interval` since `start` is up; not at
    // all while `ready` holds.
    void waitUntil(std::uint32_t start, std::uint32_t interval, const std::function<bool()>& ready);

    ModemPort* port_;
    EventPump& pump_;
};

} // namespace tarvik
