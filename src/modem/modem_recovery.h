#pragma once
#include "modem/main_view.h"
#include "modem/number_display.h"

#include <cstdint>
#include <functional>

namespace tarvik {

inline constexpr char kModemLostLog[] = "Modem lost, COM-Port closed";
inline constexpr char kModemBackLog[] = "Modem is back, COM-Port opened";
inline constexpr char kModemLostStatus[] = "Modem lost, waiting for it...";
inline constexpr char kModemInitErrorLog[] = "Error at init Modem or Open COM-Port";

// The serial port as the recovery of a lost modem sees it.
class RecoverablePort {
public:
    virtual ~RecoverablePort() = default;
    virtual bool isOpen() const = 0;
    // The device behind the open port has gone away for good.
    virtual bool deviceLost() const = 0;
    // The port's name resolves to a device that is there.
    virtual bool devicePresent() const = 0;
    // Opens the port with the settings' number and speed; true when it is open.
    virtual bool reopen() = 0;
    virtual void close() = 0;
};

// What the recovery does beside the port: show the port state (the tray
// picture and the port item), run the modem's start-up dialogue, write the log.
struct RecoveryHooks {
    MainView& view;
    std::function<void(bool open)> showPortState;
    // True when the modem answered its initialisation.
    std::function<bool()> initModem;
    LogLineSink log;
};

// A USB modem can vanish and come back under the same name. Told every
// `kPollMs`, this closes the port of a lost device and says so, then looks for
// the device about once a second and, when it is back, opens the port and
// initialises the modem again. A port the user closed is never opened here.
class ModemRecovery {
public:
    static constexpr std::uint32_t kPollMs = 250;
    static constexpr int kPollsPerLook = 4;

    ModemRecovery(RecoverablePort& port, RecoveryHooks hooks)
        : port_(port)
        , hooks_(std::move(hooks)) {}

    // One tick. Inside a wait of the modem dialogue a loss is still reported,
    // but no new dialogue starts.
    void poll(bool insideModemWait);

    // A port that did not open is waited for as a lost device is, without a
    // word of its own: its failure has been told.
    void awaitDevice() {
        waiting_ = true;
        pollsSinceLook_ = 0;
    }

    // The port was closed for a lost device and is waited for.
    bool waiting() const { return waiting_; }

private:
    void reportLoss();
    void lookForDevice();

    RecoverablePort& port_;
    RecoveryHooks hooks_;
    bool waiting_ = false;
    bool busy_ = false;
    int pollsSinceLook_ = 0;
};

} // namespace tarvik
