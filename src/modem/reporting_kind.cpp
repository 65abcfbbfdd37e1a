#include "modem/reporting_kind.h"

#include "platform/app_events.h"
#include "platform/errors.h"

#include <QScopeGuard>

namespace tarvik {

ReportingKind::ReportingKind(CallContext context, RingSound& sound, std::function<bool()> greet)
    : greetModem_(std::move(greet))
    , calls_(context, sound, greetModem_) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { runWithErrorReport([this] { poll(); }); });
}

void ReportingKind::greet(bool modemReady) {
    if (modemReady) calls_.switchCallerIdOn();
    calls_.greeted();
}

void ReportingKind::stop() {
    stopped_ = true;
    timer_.stop();
}

void ReportingKind::poll() {
    timer_.stop();
    if (stopped_) return;
    // Never inside a wait of the modem dialogue: the lines there are the wait's.
    constexpr int kAfterWaitMs = 100;
    if (ModemWaitScope::active()) return timer_.start(kAfterWaitMs);
    const auto rearm = qScopeGuard([this] {
        if (!stopped_) timer_.start(static_cast<int>(calls_.dueIn()));
    });
    calls_.poll();
}

} // namespace tarvik
