#pragma once
#include "engine/caller_book.h"
#include "engine/caller_screening.h"
#include "engine/ncid_wiring.h"
#include "engine/network_kind.h"
#include "engine/port_adapter.h"
#include "modem/call_context.h"
#include "modem/caller_id_kind.h"
#include "modem/dialogue.h"
#include "modem/incoming_call.h"
#include "modem/main_view.h"
#include "modem/modem_recovery.h"
#include "platform/app_events.h"
#include "platform/device_claim.h"
#include "platform/sound.h"
#include "serial/CommPort.h"
#include "store/settings.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

namespace tarvik {

// How much a line of the call log matters to whoever follows the program
// beside the log (the service's journal).
enum class LogLevel { Info, Warning };

// The line: the port, the modem's greeting, the caller-ID kind, the recovery
// of a lost modem and the NCID server, free of any window. The desktop program
// and the service each run one on their main thread; what it shows goes to a
// MainView, what it logs to the settings' log file.
class LineEngine final : private PortSwitch {
public:
    LineEngine(SettingsRecord& settings, MainView& view, RingSound& sound);
    ~LineEngine() override;
    LineEngine(const LineEngine&) = delete;
    LineEngine& operator=(const LineEngine&) = delete;

    enum class Start { Ready, Closed, DeviceTaken };
    // The start-up of the line, on loaded settings: the claim on the device, the
    // NCID server from the configuration at `configPath`, the port opened and
    // the modem greeted; none of it when the calls come from an NCID server.
    // Closed when a close came during its waits; DeviceTaken when another
    // TARVIK holds the device (see otherHolder). `holder` names this program
    // to the other.
    Start start(const QString& configPath, const QString& holder);
    // After a Ready start (and the window's own start-up): the start line
    // logged, and calls watched from now on.
    void watch();
    // Who holds the device, after DeviceTaken.
    QString otherHolder() const;
    // What the user is told then.
    static QString deviceTakenText(const QString& otherHolder) {
        return QStringLiteral("The modem is in use by %1.").arg(otherHolder);
    }

    // The end: InCall off, nothing more read, the port closed. The NCID server
    // goes with the engine.
    void close();
    bool closing() const { return closing_; }

    // What the settings dialog may change of the line's set-up.
    using ModemSetUp = std::tuple<std::int32_t, QByteArray, QByteArray, QString>;
    ModemSetUp modemSetUp() const;
    // The settings changed: another caller-ID kind or command takes effect at
    // once, and the NCID server reads the log's new place.
    void settingsChanged(const ModemSetUp& before);

    // The log: one stamped line in the settings' log file.
    void writeLog(const QByteArray& message, LogLevel level = LogLevel::Info);
    const LogLineSink& log() const { return context_.log; }
    // Told of every line after it was written; nobody by default.
    std::function<void(LogLevel, const QByteArray&)> onLogged;
    // The port opened or closed, or the NCID server's connection came or went
    // (the tray picture, the port item).
    std::function<void(bool open)> onPortState;
    // A port that does not open at the start (no device yet, ModemManager
    // holding it) is tried again about once a second, as after a loss. The
    // desktop program leaves it to the user's port item.
    bool retryUnopenedPort = false;
    // Runs at the end of every idle pass (the windows' deferred closes).
    std::function<void()> afterIdle;

    CallContext& context() { return context_; }
    // The phone book callers are looked up in; the program loads it.
    CallerBook& phoneBook() { return book_; }
    IncomingCalls& incomingCalls() { return calls_; }
    PortSwitch& portSwitch() { return *this; }
    TCommPort& port() { return ComAc; }
    // How often an NCID server whose address was taken tries again.
    static constexpr int kNcidRetryMs = 5000;
    // The port is open, or the NCID server connected.
    bool portOpen() const;
    // The calls come from the modem, not from an NCID server.
    bool usesModem() const { return settings_.CidMode != kCidFromServer; }

private:
    // The modem's start-up dialogue: echo off, the purge, the initialisation
    // string, the kind's own step; true when the modem answered "OK" on an
    // open port.
    bool InitModem();
    void TarvikEventsIdle();
    void chooseKind();
    // The modem's side of the start-up and its end, also when the settings
    // switch between a modem and an NCID server.
    Start startModem();
    void stopModem();
    // The claim on the configured device, taken once; false while another
    // TARVIK holds it.
    bool claimDevice();
    void tellDeviceTaken();
    // The port did not open: the device and the system's reason, for the user.
    void logOpenFailure();
    // The NCID server listens, or is tried again later: its address may be
    // taken until another server has gone.
    void listenNcid();
    void stopNcid();

    // PortSwitch, for the tray menu's port item.
    bool isOpen() const override;
    void setOpen(bool open) override;

    SettingsRecord& settings_;
    TCommPort ComAc;
    PortAdapter portAdapter_{ComAc};
    QtEventPump pump_;
    ModemDialogue modem_{&portAdapter_, pump_};
    TAppEvents TarvikEvents;
    RingSound& sound_;
    std::optional<DeviceClaim> claim_;
    CallerBook book_;
    BookScreen screen_{settings_, book_};
    std::unique_ptr<NcidService> ncidService_;
    // The NCID service while it listens.
    CallEventsSwitch callEvents_;
    QTimer ncidRetry_;
    bool ncidFailed_ = false;
    CallContext context_;
    IncomingCalls calls_;
    std::unique_ptr<CallerIdKind> kind_;
    // kind_ when the calls come from an NCID server.
    NetworkKind* network_ = nullptr;
    bool connected_ = false;
    QString configPath_;
    QString holder_;
    // A kind replaced while its own handler may still be on the stack (a
    // setting changed inside one of its waits) goes at the next idle pass.
    std::unique_ptr<CallerIdKind> retiredKind_;
    RecoveryPortAdapter recoveryPort_{ComAc, settings_};
    ModemRecovery recovery_;
    QTimer recoveryTimer_;
    bool closing_ = false;
};

} // namespace tarvik
