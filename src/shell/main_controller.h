#pragma once
#include "engine/line_engine.h"
#include "modem/dialing.h"
#include "modem/main_view.h"
#include "platform/sound.h"
#include "store/settings.h"

#include <memory>

namespace tarvik {

class TMainForm;
class TPhItemForm;
class PhoneBookHost;

// The desktop program: the main window and the phone book over the line's
// engine; start-up, the handlers of the window's keys and menu, and the close.
class MainController final : public MainEvents {
public:
    explicit MainController(std::unique_ptr<RingSound> sound = std::make_unique<DesktopSound>());
    ~MainController() override;
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    TMainForm& form() { return *form_; }
    SettingsRecord& settings() { return settings_; }
    TCommPort& port() { return engine_->port(); }

    // The window's creation steps: settings, port, modem, display. Ends early
    // when the window is closed during its waits.
    void FormCreate();
    // The close has run: the program ends.
    bool closed() const { return engine_->closing(); }

    // MainEvents
    void FormClose() override;
    void btnPhoneKeysClick(int tag) override {
        if (engine_->usesModem()) dialer_->btnPhoneKeysClick(tag);
    }
    void btnPhoneBookClick() override;
    void miSetupClick() override;
    void miAboutClick() override;
    void miAddCallerClick(const QByteArray& number) override;
    void miMarkCallerBadClick(const QByteArray& number) override;
    void btnAnswerClick() override { engine_->incomingCalls().btnAnswerClick(); }
    void btnTalkClick() override { engine_->incomingCalls().btnTalkClick(); }
    void pnDigitalLedClick() override { engine_->incomingCalls().pnDigitalLedClick(); }
    void FormKeyPress(char& key) override {
        if (engine_->usesModem()) dialer_->FormKeyPress(key);
    }
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;

private:
    // The form set up for where the calls come from.
    void showCallSource();

    SettingsRecord settings_;
    QString programDir_;
    std::unique_ptr<RingSound> sound_;
    std::unique_ptr<TMainForm> form_;
    // Declared after the main window so they go before it.
    std::unique_ptr<TPhItemForm> entryDialog_;
    std::unique_ptr<PhoneBookHost> phoneBook_;
    std::unique_ptr<LineEngine> engine_;
    std::unique_ptr<Dialer> dialer_;
};

} // namespace tarvik
