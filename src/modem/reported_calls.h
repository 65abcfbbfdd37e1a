#pragma once
#include "modem/call_context.h"
#include "modem/hang_up.h"
#include "modem/modem_line_reader.h"
#include "store/caller_report.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace tarvik {

inline constexpr char kModemSilentText[] = "Modem not answering, caller ID may be lost.";

// A ring line of modems that report the caller with the rings: "RING", or
// "RING" with one or two characters after a blank ("RING A", distinctive rings).
bool isRingLine(QByteArrayView line);

// One call of a reporting modem, from its first line to 8 s after its last.
struct ReportedCall {
    int rings = 0;
    std::uint32_t endAt = 0;
    // When the caller is complete unless a ring completes it first.
    std::optional<std::uint32_t> completeAt;
    bool reported = false; // a number or name line came
    bool callerDone = false;
    // The status text the caller is on show with; empty until shown.
    QByteArray shown;
    int numberRank = 0;
    QByteArray numberValue;
    QByteArray numberLine;
    QByteArray nameLine;
    QByteArray name;
};

// Calls from modems that report the caller by themselves, with the rings: the
// program never answers, it reads the rings and the caller-ID block as they
// come (from the idle pass and a timer, never in a wait), shows the number as
// soon as it comes, logs the caller once per call and keeps the modem's
// caller ID switched on. A caller the screen rejects is hung up instead.
class ReportedCalls {
public:
    // The caller is complete this long after its last caller-ID line (or at the next ring).
    static constexpr std::uint32_t kCallerCompleteMs = 500;
    // A call has ended this long after its last ring or caller-ID line.
    static constexpr std::uint32_t kCallEndMs = 8000;
    // While idle, the modem is asked for an "OK" this often ...
    static constexpr std::uint32_t kProbeEveryMs = 10 * 60 * 1000;
    // ... and must give it within this time.
    static constexpr std::uint32_t kProbeAnswerMs = 2000;

    // `greet` runs the modem's whole start-up dialogue; true when it answered.
    ReportedCalls(CallContext context, RingSound& sound, std::function<bool()> greet);

    // Reads what the modem sent and does what is due; the idle pass and the
    // timer call it.
    void poll();
    // Milliseconds until poll is next due for the time alone; new bytes from
    // the modem are due at once anyway.
    std::uint32_t dueIn() const;
    // The start-up dialogue has run (and read the modem's replies).
    void greeted();
    // Part of the start-up dialogue: sends CidInitStr and, when the modem
    // refuses the default, the Rockwell command once. A refusal is logged.
    // Waits for the replies as the start-up dialogue does.
    bool switchCallerIdOn();

private:
    void handle(const QByteArray& line, std::uint32_t now);
    ReportedCall& callAt(std::uint32_t now);
    void ring(std::uint32_t now);
    void report(const CallerReportLine& report, const QByteArray& line, std::uint32_t now);
    void showSoFar(ReportedCall& call);
    void show(ReportedCall& call, const QByteArray& status);
    void completeCaller();
    void hangUpOn(const QByteArray& number, const CallerVerdict& verdict);
    void endCall(std::uint32_t now);
    void probe(std::uint32_t now);
    void probeAnswered();
    bool ignoring() const;
    void regreet();

    CallContext c_;
    RingSound& sound_;
    std::function<bool()> greet_;
    ModemLineReader reader_;
    std::optional<ReportedCall> call_;
    HangUpSequence hangUp_;
    bool busy_ = false;
    // The command that switched caller ID on; sent again after every call.
    QByteArray cidCommand_;
    std::uint32_t nextProbeAt_;
    std::optional<std::uint32_t> probeAnswerBy_;
    int probeMisses_ = 0;
};

} // namespace tarvik
