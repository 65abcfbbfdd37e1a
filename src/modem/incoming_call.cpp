#include "modem/incoming_call.h"

#include "modem/dialogue.h"
#include "modem/hang_up.h"
#include "modem/held_error_log.h"
#include "modem/number_display.h"
#include "platform/log_categories.h"
#include "platform/tick.h"
#include "store/call_record.h"
#include "store/caller_report.h"
#include "store/codepage.h"
#include "store/settings.h"

#include <QScopeGuard>

namespace tarvik {
namespace {

constexpr int kRingSearchMinBytes = 4;
constexpr std::uint32_t kRingSearchMs = 1600;
constexpr std::uint32_t kRingGapMs = 400;
constexpr std::uint32_t kPurgePauseMs = 50;
constexpr std::uint32_t kAnswerWindowMs = 3000;
constexpr std::uint32_t kTalkPauseMs = 150;

} // namespace

void IncomingCalls::detectRing() {
    ModemDialogue& modem = c_.modem;
    if (!modem.portOpen() || modem.port()->InCount() < kRingSearchMinBytes) return;

    std::uint32_t t = GetTickCount();
    QByteArray line;
    do {
        line = modem.ReadModemLine();
        if (!line.isEmpty()) t = GetTickCount();
    } while (line != "RING" && !modem.TickElapsed(t, kRingSearchMs));

    if (line != "RING") return;
    sound_.beep();
    sound_.playWav(c_.settings.SoundFile);
    ComAcRingSignal();
}

void IncomingCalls::ComAcRingSignal() {
    ModemDialogue& modem = c_.modem;
    std::uint32_t t = GetTickCount();
    int rings = 1;
    if (c_.settings.AnswerOnRing == 0) {
        c_.log("Incoming call, ignored.");
        c_.events->ringIgnored();
        return;
    }
    setStatus("Incoming call, waiting...");
    c_.events->ringCounted(rings);

    QByteArray line;
    do {
        line = modem.ReadModemLine();
        if (line == "RING") {
            ++rings;
            t = GetTickCount();
            c_.events->ringCounted(rings);
            setStatus("Incoming call (" + QByteArray::number(rings) + ").");
        }
    } while (rings < c_.settings.AnswerOnRing && !modem.TickElapsed(t, kRingGapMs));

    if (modem.TickElapsed(t, kRingGapMs) && line != "RING") setStatus("Incoming call, timeout.");

    purge();

    t = GetTickCount();
    modem.SendModemString(c_.settings.AnswerStr + "\r\n");
    c_.state().InCall = true;
    // Told however the answer ends, after its caller.
    const auto answered = qScopeGuard([this] { c_.events->answered(); });

    HeldErrorLog answerLog(c_.log);
    const LogLineSink logAnswer = answerLog.sink();
    bool hangUp = false;
    do {
        line = modem.ReadModemLine();
        if (line.contains(kCallerIdMark) && !hangUp) {
            // "Unknown": withheld, or not delivered by the network.
            const bool withheld = !cutCallerNumber(line, kWholeNumber);
            const QByteArray number = callerNumberShown(line, kWholeNumber);
            const CallerVerdict verdict = c_.screen->screen(number, withheld);
            if (verdict.hangUp) {
                hangUp = true;
                tellHungUp(withheld ? QByteArray("PRIVATE") : number, verdict.bookName, logAnswer);
                continue;
            }
            logAnswer(line);
            c_.events->callerIdentified(callerNumberShown(line, c_.settings.DigCol),
                                        ncidNameText(fromCp1251(verdict.bookName)));
            c_.state().CallerNumber = number;
            try {
                ShowCallerId(c_.view, line, c_.settings.DigCol, logAnswer);
            } catch (...) {
                // A number that cannot be shown ends the answer; the first error is told.
                answerLog.raiseHeldError();
                throw;
            }
        }
    } while (line != "OK" && !modem.TickElapsed(t, kAnswerWindowMs));

    purge();
    if (hangUp) putDown();
    answerLog.raiseHeldError();
}

void IncomingCalls::purge() {
    if (c_.modem.port()) c_.modem.port()->PurgeIn();
    c_.modem.PumpDelay(kPurgePauseMs);
}

void IncomingCalls::tellHungUp(const QByteArray& number, const QByteArray& bookName,
                               const LogLineSink& log) {
    const QByteArray text = hungUpLogLine(number, bookName);
    setStatus(text);
    c_.events->callerHungUp(number, ncidNameText(fromCp1251(bookName)));
    log(text);
}

// The line the answer took is put down instead of held for Talk.
void IncomingCalls::putDown() {
    ModemDialogue& modem = c_.modem;
    c_.state().InCall = false;
    if (modem.ModemCommand("ATH0\r\n") != "OK") {
        modem.ModemCommand("AT\r\n");
        if (modem.ModemCommand("ATH0\r\n") != "OK") c_.log(kHangUpUnconfirmed);
    }
    purge();
}

void IncomingCalls::btnTalkClick() {
    ModemDialogue& modem = c_.modem;
    if (modem.portOpen()) {
        qCDebug(lcModem) << "->" << QByteArray("\r") << "(the hand-over)";
        modem.port()->WriteByte('\r');
    }
    c_.state().InCall = false;
    setStatus(kWaitingForCall);
    modem.PumpDelay(kTalkPauseMs);
    if (modem.port()) modem.port()->PurgeIn();
}

void IncomingCalls::pnDigitalLedClick() {
    if (c_.state().InCall) btnTalkClick();
}

} // namespace tarvik
