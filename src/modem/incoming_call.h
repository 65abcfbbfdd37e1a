#pragma once
#include "modem/call_context.h"

namespace tarvik {

inline constexpr char kWaitingForCall[] = "Waiting for a call...";

// Ring detection, the answer and the hand-over to the telephone set.
class IncomingCalls {
public:
    IncomingCalls(CallContext context, RingSound& sound)
        : c_(context)
        , sound_(sound) {}

    // The idle handler's ring detection: looks for a "RING" line once at least
    // four bytes wait, then rings the sound and runs the incoming-call sequence.
    void detectRing();

    // Counts the rings, answers, and reads the caller-ID report. A log that
    // fails during the answer does not stop it: every caller is still shown, and
    // the log's first error is raised once the answer has been read. A caller
    // the screen rejects is not shown, and the line is put down.
    void ComAcRingSignal();

    void btnAnswerClick() { ComAcRingSignal(); }
    // Hands the held call to the telephone set.
    void btnTalkClick();
    void pnDigitalLedClick();

private:
    void setStatus(const QByteArray& text) { c_.view.setStatusText(text); }
    void purge();
    void tellHungUp(const QByteArray& number, const QByteArray& bookName, const LogLineSink& log);
    void putDown();

    CallContext c_;
    RingSound& sound_;
};

} // namespace tarvik
