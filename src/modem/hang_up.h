#pragma once
#include "modem/number_display.h"

#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace tarvik {

class ModemDialogue;

inline constexpr char kHangUpUnconfirmed[] = "The modem did not confirm the hang-up.";

// Hangs up on a caller with a modem that reports with the rings, without a
// wait: the line taken off-hook (ATH1), held, and put back (ATH0); when that
// gets no "OK", "AT" and ATH0 once more. Driven by the kind's poll.
class HangUpSequence {
public:
    // Long enough for the exchange to see the line answered and end the call.
    static constexpr std::uint32_t kHoldMs = 2000;
    // The time the modem has to answer each command after the hold.
    static constexpr std::uint32_t kAnswerMs = 1000;

    HangUpSequence(ModemDialogue& modem, LogLineSink log)
        : modem_(modem)
        , log_(std::move(log)) {}

    void start(std::uint32_t now);
    bool running() const { return step_ != Step::Idle; }
    // A line from the modem: true when it was the sequence's (the replies).
    bool take(QByteArrayView line, std::uint32_t now);
    // Does what is due at `now`.
    void poll(std::uint32_t now);
    // When poll is next due; nothing while idle.
    std::optional<std::uint32_t> dueAt() const;

private:
    enum class Step { Idle, OffHook, OnHook, Probe, OnHookAgain };
    void send(const char* command, Step next, std::uint32_t dueAt);

    ModemDialogue& modem_;
    LogLineSink log_;
    Step step_ = Step::Idle;
    std::uint32_t dueAt_ = 0;
};

} // namespace tarvik
