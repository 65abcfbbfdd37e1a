#include "modem/hang_up.h"

#include "modem/dialogue.h"
#include "platform/tick.h"

namespace tarvik {

void HangUpSequence::start(std::uint32_t now) {
    send("ATH1", Step::OffHook, now + kHoldMs);
}

void HangUpSequence::send(const char* command, Step next, std::uint32_t dueAt) {
    step_ = next;
    dueAt_ = dueAt;
    modem_.SendModemString(QByteArray(command) + "\r\n");
}

bool HangUpSequence::take(QByteArrayView line, std::uint32_t now) {
    if (!running() || (line != "OK" && line != "ERROR")) return false;
    // The answer to ATH1 changes nothing: the hold runs its time.
    if (line == "OK" && step_ == Step::Probe)
        send("ATH0", Step::OnHookAgain, now + kAnswerMs);
    else if (line == "OK" && step_ != Step::OffHook)
        step_ = Step::Idle;
    return true;
}

void HangUpSequence::poll(std::uint32_t now) {
    if (!running() || ticksUntil(dueAt_, now) > 0) return;
    switch (step_) {
    case Step::OffHook:
        return send("ATH0", Step::OnHook, now + kAnswerMs);
    case Step::OnHook:
        return send("AT", Step::Probe, now + kAnswerMs);
    case Step::Probe:
        return send("ATH0", Step::OnHookAgain, now + kAnswerMs);
    case Step::OnHookAgain:
        step_ = Step::Idle;
        if (log_) log_(kHangUpUnconfirmed);
        return;
    case Step::Idle:
        return;
    }
}

std::optional<std::uint32_t> HangUpSequence::dueAt() const {
    if (!running()) return std::nullopt;
    return dueAt_;
}

} // namespace tarvik
