#include "shell/main_controller.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "serial/port_diagnosis.h"
#include "store/calllog.h"
#include "store/keyvalue.h"
#include "ui/abo_frm.h"
#include "ui/phb_frm.h"
#include "ui/phit_frm.h"
#include "ui/set_frm.h"
#include "ui/tarvik_frm.h"
#include "ui/widgets/form_placement.h"

#include <QScopeGuard>

#include <tuple>

namespace tarvik {

MainController::MainController(std::unique_ptr<RingSound> sound)
    : sound_(std::move(sound))
    , form_(std::make_unique<TMainForm>(settings_))
    , context_{settings_, *form_, modem_, [this](const QByteArray& m) { writeLog(m); },
               &callEvents_}
    , calls_(context_, *sound_)
    , reported_(context_, *sound_, [this] { return InitModem(); })
    , dialer_(context_, calls_)
    , recovery_(recoveryPort_, {*form_, [this](bool open) { form_->setPortState(open); },
                                [this] { return InitModem(); }, context_.log}) {
    // The main window keeps only its position; its size is fixed.
    new TFormPlacement(form_.get(), kWinStateSection, {}, true);
    // The entry dialog exists, hidden, for the whole run.
    entryDialog_ = std::make_unique<TPhItemForm>();
    // The main window's design values of the port; the settings replace number and speed.
    ComAc.SetInSize(2048);
    ComAc.SetOutSize(2048);
    ComAc.SetDTR(true);
    ComAc.SetRTS(true);
    // Received bytes wake the UI loop, so ring detection runs as soon as data waits.
    ComAc.SetDataReadyCallback([this] { TarvikEvents.wakeFromAnyThread(); });
    TarvikEvents.OnIdle = [this] { TarvikEventsIdle(); };
    form_->setEvents(this);
    form_->setPort(this);
    form_->setLogSink(context_.log);
    reportedTimer_.setSingleShot(true);
    QObject::connect(&reportedTimer_, &QTimer::timeout,
                     [this] { runReported([this] { pollReportedCalls(); }); });
    recoveryTimer_.setInterval(static_cast<int>(ModemRecovery::kPollMs));
    QObject::connect(&recoveryTimer_, &QTimer::timeout,
                     [this] { runReported([this] { recovery_.poll(ModemWaitScope::active()); }); });
}

MainController::~MainController() {
    callEvents_.attach(nullptr);
    ncidServer_.reset();
    phoneBook_.reset();
    ComAc.SetDataReadyCallback({});
    form_->setEvents(nullptr);
}

void MainController::writeLog(const QByteArray& message) {
    WriteLogLine(settings_.fnLog, message);
}

void MainController::FormCreate() {
    programDir_ = ProgramDir();
    phoneBook_ = std::make_unique<PhoneBookHost>(
        form_.get(), programDir_, *entryDialog_,
        [this](const QByteArray& phone) { dialer_.dialPhoneBookEntry(phone); });
    // A store that cannot be read is reported; the start goes on with what loaded.
    runReported([this] {
        QList<QByteArray> complaints;
        LoadSaveSettings(kLoadSettings, settings_, programDir_,
                         [&complaints](const QByteArray& m) { complaints.append(m); });
        for (const QByteArray& complaint : complaints)
            writeLog(complaint);
    });
    runReported([this] {
        ncidServer_ = startNcidServer(settings_, context_.log);
        callEvents_.attach(ncidServer_.get());
    });
    ComAc.SetComNumber(settings_.ComNumber);
    ComAc.SetBaud(settings_.Baud);
    ComAc.SetOpen(true);
    if (!ComAc.Open()) logOpenFailure();
    const bool modemReady = InitModem();
    // A close asked for during the waits (a signal, the session's end) has run:
    // the start-up ends here.
    if (closed_) return;
    if (!modemReady) {
        ErrorBox(QStringLiteral("Error"), QStringLiteral("at Init modem or Open COM-Port!"));
        writeLog(kModemInitErrorLog);
    }
    form_->setStatusText(kWaitingForCall);
    form_->SetUpFromSettings(ComAc.Open());
    writeLog({});
    recoveryTimer_.start();
    if (reportingModem()) pollReportedCalls();
}

bool MainController::InitModem() {
    modem_.ModemCommand("ATE0\r\n");
    if (closed_) return false;
    if (ComAc.Open()) ComAc.PurgeIn();
    modem_.PumpDelay(100);
    if (closed_) return false;
    const QByteArray reply = modem_.ModemCommand(settings_.InitStr + "\r\n");
    const bool ready = reply == "OK" && ComAc.Open();
    if (ready && reportingModem() && !closed_) reported_.switchCallerIdOn();
    reported_.greeted();
    return ready;
}

void MainController::TarvikEventsIdle() {
    if (reportingModem())
        pollReportedCalls();
    else
        calls_.detectRing();
    if (phoneBook_) phoneBook_->runDeferredClose();
}

void MainController::pollReportedCalls() {
    reportedTimer_.stop();
    if (!reportingModem() || closed_) return;
    // Never inside a wait of the modem dialogue: the lines there are the wait's.
    constexpr int kAfterWaitMs = 100;
    if (ModemWaitScope::active()) return reportedTimer_.start(kAfterWaitMs);
    const auto rearm = qScopeGuard([this] {
        if (!closed_) reportedTimer_.start(static_cast<int>(reported_.dueIn()));
    });
    reported_.poll();
}

void MainController::logOpenFailure() {
    const TCommPort::OpenFailure& failure = ComAc.LastOpenFailure();
    writeLog(QByteArray::fromStdString(
        comm::describeOpenFailure(ComAc.ComNumber(), failure.device, failure.systemError)));
}

void MainController::setOpen(bool open) {
    portAdapter_.setOpen(open);
    if (open && !portAdapter_.isOpen()) logOpenFailure();
    if (open && portAdapter_.isOpen() && reportingModem()) InitModem();
}

void MainController::btnPhoneBookClick() {
    if (phoneBook_) phoneBook_->btnPhoneBookClick();
}

void MainController::miSetupClick() {
    const auto modemSetUp = [this] {
        return std::tuple(settings_.CidMode, settings_.InitStr, settings_.CidInitStr);
    };
    const auto before = modemSetUp();
    runSettingsDialog(*form_, settings_, programDir_);
    // Another caller-ID kind or command takes effect at once.
    if (modemSetUp() != before && ComAc.Open()) InitModem();
    if (reportingModem()) pollReportedCalls();
    // The log's file and the digits of its numbers may have changed.
    if (ncidServer_) ncidServer_->setLogSource(callLogSource(settings_));
}

void MainController::miAboutClick() {
    runAboutBox(form_.get());
}

void MainController::FormClose() {
    if (closed_) return;
    closed_ = true;
    if (phoneBook_) phoneBook_->requestCloseIfVisible();
    form_->state().InCall = false;
    recoveryTimer_.stop();
    reportedTimer_.stop();
    ComAc.SetOpen(false);
    // The phone book is saved at the end whatever happens to the settings save.
    const auto savePhoneBook = qScopeGuard([this] {
        if (phoneBook_) phoneBook_->closeAtProgramEnd();
    });
    LoadSaveSettings(kSaveSettings, settings_, programDir_);
}

void MainController::FormKeyDown(int& key, Qt::KeyboardModifiers) {
    if (dialer_.FormKeyDown(key)) key = 0;
}

} // namespace tarvik
