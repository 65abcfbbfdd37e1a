#include "shell/main_controller.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "store/keyvalue.h"
#include "ui/abo_frm.h"
#include "ui/phb_frm.h"
#include "ui/phit_frm.h"
#include "ui/set_frm.h"
#include "ui/tarvik_frm.h"
#include "ui/widgets/form_placement.h"

#include <QScopeGuard>

namespace tarvik {

MainController::MainController(std::unique_ptr<RingSound> sound)
    : sound_(std::move(sound))
    , form_(std::make_unique<TMainForm>(settings_))
    , engine_(std::make_unique<LineEngine>(settings_, *form_, *sound_))
    , dialer_(std::make_unique<Dialer>(engine_->context(), engine_->incomingCalls())) {
    // The main window keeps only its position; its size is fixed.
    new TFormPlacement(form_.get(), kWinStateSection, {}, true);
    // The entry dialog exists, hidden, for the whole run.
    entryDialog_ = std::make_unique<TPhItemForm>();
    engine_->onPortState = [this](bool open) { form_->setPortState(open); };
    engine_->afterIdle = [this] {
        if (phoneBook_) phoneBook_->runDeferredClose();
    };
    form_->setEvents(this);
    form_->setPort(&engine_->portSwitch());
    form_->setLogSink(engine_->log());
}

MainController::~MainController() {
    phoneBook_.reset();
    form_->setEvents(nullptr);
    form_->setPort(nullptr);
}

void MainController::FormCreate() {
    programDir_ = ProgramDir();
    phoneBook_ = std::make_unique<PhoneBookHost>(form_.get(), programDir_, *entryDialog_,
                                                 [this](const QByteArray& phone) {
                                                     if (engine_->usesModem())
                                                         return dialer_->dialPhoneBookEntry(phone);
                                                     form_->setStatusText(kNoDialingText);
                                                 });
    // A store that cannot be read is reported; the start goes on with what loaded.
    runWithErrorReport([this] {
        QList<QByteArray> complaints;
        LoadSaveSettings(kLoadSettings, settings_, programDir_,
                         [&complaints](const QByteArray& m) { complaints.append(m); });
        for (const QByteArray& complaint : complaints)
            engine_->writeLog(complaint, LogLevel::Warning);
    });
    switch (engine_->start(mainKeyPath(), QStringLiteral("the TARVIK desktop program (tarvik)"))) {
    case LineEngine::Start::Closed:
        return;
    case LineEngine::Start::DeviceTaken:
        ErrorBox(QStringLiteral("Error"), LineEngine::deviceTakenText(engine_->otherHolder()));
        engine_->close();
        return;
    case LineEngine::Start::Ready:
        break;
    }
    runWithErrorReport([this] { engine_->phoneBook().load(programDir_); });
    form_->SetUpFromSettings(engine_->portOpen());
    showCallSource();
    engine_->watch();
}

void MainController::showCallSource() {
    form_->setCallSource(!engine_->usesModem());
}

void MainController::btnPhoneBookClick() {
    if (phoneBook_) phoneBook_->btnPhoneBookClick();
}

void MainController::miSetupClick() {
    const LineEngine::ModemSetUp before = engine_->modemSetUp();
    runSettingsDialog(*form_, settings_, programDir_);
    engine_->settingsChanged(before);
    showCallSource();
}

void MainController::miAboutClick() {
    runAboutBox(form_.get());
}

void MainController::miAddCallerClick(const QByteArray& number) {
    if (!phoneBook_) return;
    if (const std::optional<QByteArray> added = phoneBook_->addCaller(number))
        form_->setStatusText("Added to the phone book: " + *added);
}

void MainController::miMarkCallerBadClick(const QByteArray& number) {
    if (phoneBook_ && phoneBook_->markBad(number)) form_->setStatusText("Marked as BAD: " + number);
}

void MainController::FormClose() {
    if (closed()) return;
    if (phoneBook_) phoneBook_->requestCloseIfVisible();
    engine_->close();
    // The phone book is saved at the end whatever happens to the settings save.
    const auto savePhoneBook = qScopeGuard([this] {
        if (phoneBook_) phoneBook_->closeAtProgramEnd();
    });
    LoadSaveSettings(kSaveSettings, settings_, programDir_);
}

void MainController::FormKeyDown(int& key, Qt::KeyboardModifiers) {
    if (engine_->usesModem() && dialer_->FormKeyDown(key)) key = 0;
}

} // namespace tarvik
