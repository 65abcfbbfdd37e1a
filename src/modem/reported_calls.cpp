#include "modem/reported_calls.h"

#include "modem/dialogue.h"
#include "modem/held_error_log.h"
#include "modem/incoming_call.h"
#include "modem/number_display.h"
#include "platform/tick.h"
#include "store/call_record.h"
#include "store/codepage.h"
#include "store/settings.h"

#include <QScopeGuard>

#include <algorithm>

namespace tarvik {
namespace {

// Which number line wins within a call: a real number over a withheld one, NMBR
// over the other tags; at equal rank the first stays.
int numberRank(CallerReportLine::Tag tag, QByteArrayView value) {
    const bool known = classifyReportedNumber(value) == ReportedNumber::Known;
    const bool nmbr = tag == CallerReportLine::Tag::Number;
    return (known ? 3 : 1) + (nmbr ? 1 : 0);
}

} // namespace

bool isRingLine(QByteArrayView line) {
    if (!line.startsWith("RING")) return false;
    const QByteArrayView rest = line.sliced(4);
    return rest.isEmpty() ||
           (rest.size() >= 2 && rest.size() <= 3 && rest[0] == ' ' && rest[1] != ' ');
}

ReportedCalls::ReportedCalls(CallContext context, RingSound& sound, std::function<bool()> greet)
    : c_(context)
    , sound_(sound)
    , greet_(std::move(greet))
    , hangUp_(c_.modem, c_.log)
    , nextProbeAt_(GetTickCount() + kProbeEveryMs) {}

void ReportedCalls::greeted() {
    reader_.clear();
    probeAnswerBy_.reset();
    nextProbeAt_ = GetTickCount() + kProbeEveryMs;
}

void ReportedCalls::poll() {
    // The greeting's waits run events, and with them the timer that calls here.
    if (busy_) return;
    busy_ = true;
    const auto done = qScopeGuard([this] { busy_ = false; });

    const std::uint32_t now = GetTickCount();
    QList<QByteArray> lines;
    if (c_.modem.port()) reader_.take(*c_.modem.port(), now, lines);
    // A log that fails is told once everything read has been handled: the
    // lines after the failing one are calls too.
    HeldError held;
    for (const QByteArray& line : lines)
        held.run([&] {
            if (!hangUp_.take(line, now)) handle(line, now);
        });
    // What came in one read is shown once.
    if (!lines.isEmpty() && call_ && !call_->callerDone) showSoFar(*call_);
    hangUp_.poll(now);

    // A line still coming may be the block's last.
    if (call_ && call_->completeAt && ticksUntil(*call_->completeAt, now) == 0 && !reader_.due())
        held.run([this] { completeCaller(); });
    if (call_ && ticksUntil(call_->endAt, now) == 0) held.run([&] { endCall(now); });
    probe(now);
    held.raise();
}

std::uint32_t ReportedCalls::dueIn() const {
    const std::uint32_t now = GetTickCount();
    std::uint32_t due = ticksUntil(probeAnswerBy_.value_or(nextProbeAt_), now);
    const std::optional<std::uint32_t> split = reader_.due();
    if (split) due = std::min(due, ticksUntil(*split, now));
    if (const auto hangUpStep = hangUp_.dueAt()) due = std::min(due, ticksUntil(*hangUpStep, now));
    if (call_) {
        due = std::min(due, ticksUntil(call_->endAt, now));
        if (call_->completeAt && !split) due = std::min(due, ticksUntil(*call_->completeAt, now));
    }
    return due;
}

void ReportedCalls::handle(const QByteArray& line, std::uint32_t now) {
    if (probeAnswerBy_ && line == "OK") return probeAnswered();
    if (isRingLine(line)) return ring(now);
    if (const auto caller = parseCallerReportLine(line)) report(*caller, line, now);
    // Anything else (the "OK" to a command, noise) is no call.
}

ReportedCall& ReportedCalls::callAt(std::uint32_t now) {
    if (!call_) {
        call_.emplace();
        if (ignoring()) c_.log("Incoming call, ignored.");
    }
    call_->endAt = now + kCallEndMs;
    return *call_;
}

void ReportedCalls::ring(std::uint32_t now) {
    ReportedCall& call = callAt(now);
    // The ring counts even when the caller it completes cannot be logged.
    HeldError held;
    if (call.reported && !call.callerDone) held.run([this] { completeCaller(); });
    if (++call.rings == 1) {
        sound_.beep();
        sound_.playWav(c_.settings.SoundFile);
    }
    if (ignoring()) {
        c_.events->ringIgnored();
    } else {
        c_.events->ringCounted(call.rings);
        if (!call.callerDone)
            c_.view.setStatusText("Incoming call (" + QByteArray::number(call.rings) + ").");
    }
    held.raise();
}

void ReportedCalls::report(const CallerReportLine& report, const QByteArray& line,
                           std::uint32_t now) {
    ReportedCall& call = callAt(now);
    if (call.callerDone) return;
    call.completeAt = now + kCallerCompleteMs;
    using Tag = CallerReportLine::Tag;
    switch (report.tag) {
    case Tag::Number:
    case Tag::OtherNumber:
        if (const int rank = numberRank(report.tag, report.value); rank > call.numberRank) {
            call.numberRank = rank;
            call.numberValue = report.value;
            call.numberLine = line;
        }
        call.reported = true;
        break;
    case Tag::Name:
        if (call.nameLine.isEmpty()) {
            call.nameLine = line;
            call.name = report.value;
        }
        call.reported = true;
        break;
    case Tag::Other:
        break;
    }
}

// The number at once, and the name when it comes; the log and the NCID
// clients wait for the whole caller.
void ReportedCalls::showSoFar(ReportedCall& call) {
    if (ignoring() || call.numberLine.isEmpty()) return;
    const CallerVerdict verdict =
        c_.screen->screen(call.numberValue, isWithheldNumber(call.numberValue));
    if (!verdict.hangUp)
        show(call, reportedCallerStatus(call.numberValue, shownCallerName(verdict, call.name)));
}

// Again only when there is more to tell: the name after the number.
void ReportedCalls::show(ReportedCall& call, const QByteArray& status) {
    if (status == call.shown) return;
    call.shown = status;
    c_.state().CallerNumber = reportedDigits(call.numberValue);
    ShowReportedCaller(c_.view, call.numberValue, c_.settings.DigCol, status);
    c_.view.setStatusText(status);
}

void ReportedCalls::completeCaller() {
    ReportedCall& call = *call_;
    call.completeAt.reset();
    // Date and time alone are no caller: a number may still come.
    if (!call.reported) return;
    call.callerDone = true;
    if (ignoring()) return;

    const CallerVerdict verdict =
        c_.screen->screen(call.numberValue, isWithheldNumber(call.numberValue));
    const QByteArray number = ncidReportedNumber(call.numberValue);
    if (verdict.hangUp) return hangUpOn(number, verdict);

    HeldErrorLog log(c_.log);
    if (!call.numberLine.isEmpty()) log.write(call.numberLine);
    if (!call.nameLine.isEmpty()) log.write(call.nameLine);
    const QString name = shownCallerName(verdict, call.name);
    c_.events->callerIdentified(number, ncidNameText(name));
    show(call, reportedCallerStatus(call.numberValue, name));
    log.raiseHeldError();
}

// Told once, in the log, to the clients and in the status bar; never shown.
void ReportedCalls::hangUpOn(const QByteArray& number, const CallerVerdict& verdict) {
    hangUp_.start(GetTickCount());
    const QByteArray text = hungUpLogLine(number, verdict.bookName);
    c_.view.setStatusText(text);
    c_.events->callerHungUp(number, ncidNameText(fromCp1251(verdict.bookName)));
    c_.log(text);
}

void ReportedCalls::endCall(std::uint32_t now) {
    const ReportedCall call = *call_;
    call_.reset();
    nextProbeAt_ = now + kProbeEveryMs;
    if (!ignoring() && !call.reported) {
        c_.view.setStatusText(kWaitingForCall);
        c_.log(kNoCallerIdText);
    }
    // Modems lose caller ID on a reset or a re-plug, and some drift out of it.
    if (call.rings >= 2 && !call.reported) {
        c_.log("No caller ID on a call that rang: the modem is set up again.");
        return regreet();
    }
    c_.modem.SendModemString((cidCommand_.isEmpty() ? c_.settings.CidInitStr : cidCommand_) +
                             "\r\n");
}

void ReportedCalls::probe(std::uint32_t now) {
    if (probeAnswerBy_ && ticksUntil(*probeAnswerBy_, now) == 0) {
        probeAnswerBy_.reset();
        if (++probeMisses_ == 2) {
            c_.log(kModemSilentText);
            c_.view.setStatusText(kModemSilentText);
        }
    }
    if (call_ || probeAnswerBy_ || hangUp_.running() || ticksUntil(nextProbeAt_, now) > 0) return;
    nextProbeAt_ = now + kProbeEveryMs;
    if (!c_.modem.portOpen()) return;
    c_.modem.SendModemString("AT\r\n");
    probeAnswerBy_ = now + kProbeAnswerMs;
}

void ReportedCalls::probeAnswered() {
    probeAnswerBy_.reset();
    const bool wasSilent = probeMisses_ >= 2;
    probeMisses_ = 0;
    if (!wasSilent) return;
    c_.log("Modem answering again: it is set up again.");
    regreet();
    c_.view.setStatusText(kWaitingForCall);
}

bool ReportedCalls::switchCallerIdOn() {
    const auto tryCommand = [this](const QByteArray& command) {
        const QByteArray reply = c_.modem.ModemCommand(command + "\r\n");
        if (reply == "OK") return true;
        c_.log("Caller ID not switched on: \"" + command + "\" answered \"" + reply + "\"");
        return false;
    };
    cidCommand_ = c_.settings.CidInitStr;
    if (tryCommand(cidCommand_)) return true;
    // Rockwell-based modems know only their own command.
    if (cidCommand_ != kCidInitStrDefault) return false;
    cidCommand_ = kCidInitStrRockwell;
    if (!tryCommand(cidCommand_)) return false;
    c_.log("Caller ID switched on with \"" + cidCommand_ + "\"");
    return true;
}

bool ReportedCalls::ignoring() const {
    return c_.settings.AnswerOnRing == 0;
}

void ReportedCalls::regreet() {
    if (greet_) greet_();
    greeted();
}

} // namespace tarvik
