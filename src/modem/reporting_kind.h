#pragma once
#include "modem/caller_id_kind.h"
#include "modem/reported_calls.h"

#include <QTimer>

namespace tarvik {

// Modems that report the caller with the rings: the lines are read as they
// come, from the idle pass and from a timer set to the next time that is due,
// never inside a wait of the modem dialogue.
class ReportingKind final : public CallerIdKind {
public:
    // `greet` runs the modem's whole start-up dialogue; true when it answered.
    ReportingKind(CallContext context, RingSound& sound, std::function<bool()> greet);

    void greet(bool modemReady) override;
    void idle() override { poll(); }
    void watch() override { poll(); }
    void portOpened() override { greetModem_(); }
    void stop() override;

private:
    void poll();

    std::function<bool()> greetModem_;
    ReportedCalls calls_;
    QTimer timer_;
    bool stopped_ = false;
};

} // namespace tarvik
