#include "modem/modem_recovery.h"

#include "modem/incoming_call.h"

namespace tarvik {

void ModemRecovery::poll(bool insideModemWait) {
    // The start-up dialogue below processes messages, and with them this tick.
    if (busy_) return;
    if (!waiting_) {
        if (port_.isOpen() && port_.deviceLost()) reportLoss();
        return;
    }
    // Opened from the menu meanwhile: nothing left to wait for.
    if (port_.isOpen()) {
        waiting_ = false;
        return;
    }
    if (insideModemWait || ++pollsSinceLook_ < kPollsPerLook) return;
    pollsSinceLook_ = 0;
    lookForDevice();
}

void ModemRecovery::reportLoss() {
    port_.close();
    waiting_ = true;
    pollsSinceLook_ = 0;
    hooks_.showPortState(false);
    hooks_.view.setStatusText(kModemLostStatus);
    hooks_.log(kModemLostLog);
}

void ModemRecovery::lookForDevice() {
    if (!port_.devicePresent() || !port_.reopen()) return;
    busy_ = true;
    const bool initialised = hooks_.initModem();
    busy_ = false;
    waiting_ = false;
    // Closed from the menu during the greeting: it stays closed. Gone again
    // instead: the next poll reports it.
    hooks_.showPortState(port_.isOpen());
    if (!port_.isOpen()) return;
    hooks_.view.setStatusText(kWaitingForCall);
    if (!initialised) hooks_.log(kModemInitErrorLog);
    hooks_.log(kModemBackLog);
}

} // namespace tarvik
