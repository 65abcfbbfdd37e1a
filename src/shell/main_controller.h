#pragma once
#include "modem/dialing.h"
#include "modem/dialogue.h"
#include "modem/incoming_call.h"
#include "modem/main_view.h"
#include "modem/modem_recovery.h"
#include "modem/reported_calls.h"
#include "platform/app_events.h"
#include "platform/sound.h"
#include "serial/CommPort.h"
#include "shell/ncid_wiring.h"
#include "shell/port_adapter.h"
#include "store/settings.h"

#include <QTimer>
#include <memory>

namespace tarvik {

class TMainForm;
class TPhItemForm;
class PhoneBookHost;

// The main window's life: start-up, the idle handler, the handlers of its keys
// and menu, and the close. Owns the settings, the port and the call logic.
class MainController final : public MainEvents, private PortSwitch {
public:
    explicit MainController(std::unique_ptr<RingSound> sound = std::make_unique<DesktopSound>());
    ~MainController() override;
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    TMainForm& form() { return *form_; }
    SettingsRecord& settings() { return settings_; }
    TCommPort& port() { return ComAc; }

    // The window's creation steps: settings, port, modem, display. Ends early
    // when the window is closed during its waits.
    void FormCreate();
    // The close has run: the program ends.
    bool closed() const { return closed_; }
    // The idle handler: ring detection, then deferred window closes.
    void TarvikEventsIdle();

    // MainEvents
    void FormClose() override;
    void btnPhoneKeysClick(int tag) override { dialer_.btnPhoneKeysClick(tag); }
    void btnPhoneBookClick() override;
    void miSetupClick() override;
    void miAboutClick() override;
    void btnAnswerClick() override { calls_.btnAnswerClick(); }
    void btnTalkClick() override { calls_.btnTalkClick(); }
    void pnDigitalLedClick() override { calls_.pnDigitalLedClick(); }
    void FormKeyPress(char& key) override { dialer_.FormKeyPress(key); }
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;

private:
    // The modem's start-up dialogue: echo off, the purge, the initialisation
    // string; true when the modem answered "OK" on an open port.
    bool InitModem();
    void writeLog(const QByteArray& message);
    // The port did not open: the device and the system's reason, for the user.
    void logOpenFailure();
    bool reportingModem() const { return settings_.CidMode == kCidWithRings; }
    // The reporting modem's calls: read as they come, and again when a time is due.
    void pollReportedCalls();

    // PortSwitch, for the tray menu's port item: a reporting modem is greeted
    // again when the port opens, as its caller ID may be off.
    bool isOpen() const override { return portAdapter_.isOpen(); }
    void setOpen(bool open) override;

    SettingsRecord settings_;
    QString programDir_;
    TCommPort ComAc;
    PortAdapter portAdapter_{ComAc};
    QtEventPump pump_;
    ModemDialogue modem_{&portAdapter_, pump_};
    TAppEvents TarvikEvents;
    std::unique_ptr<RingSound> sound_;
    std::unique_ptr<TMainForm> form_;
    // Declared after the main window so they go before it.
    std::unique_ptr<TPhItemForm> entryDialog_;
    std::unique_ptr<PhoneBookHost> phoneBook_;
    NcidCallEvents callEvents_;
    std::unique_ptr<NcidService> ncidServer_;
    CallContext context_;
    IncomingCalls calls_;
    ReportedCalls reported_;
    QTimer reportedTimer_;
    Dialer dialer_;
    RecoveryPortAdapter recoveryPort_{ComAc, settings_};
    ModemRecovery recovery_;
    QTimer recoveryTimer_;
    bool closed_ = false;
};

} // namespace tarvik
