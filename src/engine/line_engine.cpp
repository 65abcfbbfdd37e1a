#include "engine/line_engine.h"

#include "modem/answered_kind.h"
#include "modem/reporting_kind.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "serial/com_names.h"
#include "store/calllog.h"
#include "store/keyvalue.h"
#include "store/ncid_address.h"

#include <QFile>

namespace tarvik {

LineEngine::LineEngine(SettingsRecord& settings, MainView& view, RingSound& sound)
    : settings_(settings)
    , sound_(sound)
    , context_{settings_,    view,    modem_, [this](const QByteArray& m) { writeLog(m); },
               &callEvents_, &screen_}
    , calls_(context_, sound_)
    , recovery_(recoveryPort_, {view,
                                [this](bool open) {
                                    if (onPortState) onPortState(open);
                                },
                                [this] { return InitModem(); }, context_.log}) {
    // The design values of the port; the settings replace number and speed.
    ComAc.SetInSize(2048);
    ComAc.SetOutSize(2048);
    ComAc.SetDTR(true);
    ComAc.SetRTS(true);
    // Received bytes wake the loop, so ring detection runs as soon as data waits.
    ComAc.SetDataReadyCallback([this] { TarvikEvents.wakeFromAnyThread(); });
    TarvikEvents.OnIdle = [this] { TarvikEventsIdle(); };
    ncidRetry_.setSingleShot(true);
    QObject::connect(&ncidRetry_, &QTimer::timeout,
                     [this] { runWithErrorReport([this] { listenNcid(); }); });
    recoveryTimer_.setInterval(static_cast<int>(ModemRecovery::kPollMs));
    QObject::connect(&recoveryTimer_, &QTimer::timeout, [this] {
        runWithErrorReport([this] { recovery_.poll(ModemWaitScope::active()); });
    });
    chooseKind();
}

LineEngine::~LineEngine() {
    stopNcid();
    ComAc.SetDataReadyCallback({});
}

void LineEngine::chooseKind() {
    if (kind_) {
        kind_->stop();
        retiredKind_ = std::move(kind_);
    }
    network_ = nullptr;
    if (settings_.CidMode == kCidFromServer) {
        // An address the settings refused is none: the kind says so.
        auto network = std::make_unique<NetworkKind>(
            context_, sound_,
            parseNcidServerAddress(settings_.NcidServer).value_or(NcidServerAddress{}),
            ncidFeeds(TARVIK_VERSION));
        network->onConnection = [this](bool connected) {
            connected_ = connected;
            if (onPortState) onPortState(connected);
        };
        network_ = network.get();
        kind_ = std::move(network);
    } else if (settings_.CidMode == kCidWithRings) {
        kind_ = std::make_unique<ReportingKind>(context_, sound_, [this] { return InitModem(); });
    } else {
        kind_ = std::make_unique<AnsweredKind>(calls_);
    }
}

void LineEngine::writeLog(const QByteArray& message, LogLevel level) {
    WriteLogLine(settings_.fnLog, message);
    if (onLogged && !message.isEmpty()) onLogged(level, message);
}

LineEngine::Start LineEngine::start(const QString& configPath, const QString& holder) {
    configPath_ = configPath;
    holder_ = holder;
    chooseKind();
    const Start start = usesModem() ? startModem() : Start::Ready;
    if (start == Start::Ready && usesModem()) context_.view.setStatusText(kWaitingForCall);
    return start;
}

LineEngine::Start LineEngine::startModem() {
    applyPortSettings(ComAc, settings_);
    if (!claimDevice()) return Start::DeviceTaken;
    // No NCID server of our own while the calls come from one: no loops.
    runWithErrorReport([&] {
        stopNcid();
        ncidService_ =
            makeNcidServer(StoreKey(configPath_), settings_,
                           [this](const QByteArray& m) { writeLog(m, LogLevel::Warning); });
        if (ncidService_) listenNcid();
    });
    ComAc.SetOpen(true);
    if (!ComAc.Open()) {
        logOpenFailure();
        if (retryUnopenedPort) recovery_.awaitDevice();
    }
    const bool modemReady = InitModem();
    // A close asked for during the waits (a signal, the session's end) has run.
    if (closing_) return Start::Closed;
    if (!modemReady) {
        ErrorBox(QStringLiteral("Error"), QStringLiteral("at Init modem or Open COM-Port!"));
        writeLog(kModemInitErrorLog, LogLevel::Warning);
    }
    return Start::Ready;
}

bool LineEngine::claimDevice() {
    if (claim_ && claim_->claimed()) return true;
    const std::string device =
        comm::portDevicePath(settings_.ComNumber, configuredDevice(settings_));
    claim_.emplace(QFile::decodeName(device.c_str()), holder_);
    return claim_->claimed();
}

void LineEngine::stopModem() {
    recoveryTimer_.stop();
    ncidRetry_.stop();
    stopNcid();
    ncidFailed_ = false;
    ComAc.SetOpen(false);
    claim_.reset();
}

void LineEngine::watch() {
    writeLog({});
    if (usesModem()) recoveryTimer_.start();
    kind_->watch();
}

void LineEngine::stopNcid() {
    callEvents_.follow(nullptr);
    ncidService_.reset();
}

void LineEngine::listenNcid() {
    QString error;
    if (ncidService_->listen(error)) {
        callEvents_.follow(ncidService_.get());
        if (ncidFailed_)
            writeLog("NCID server started on port " + QByteArray::number(ncidService_->port()));
        return;
    }
    // Told once; the retries stay quiet until one succeeds.
    if (!ncidFailed_) writeLog("NCID server not started: " + error.toUtf8(), LogLevel::Warning);
    ncidFailed_ = true;
    ncidRetry_.start(kNcidRetryMs);
}

void LineEngine::tellDeviceTaken() {
    ErrorBox(QStringLiteral("Error"), deviceTakenText(otherHolder()));
}

QString LineEngine::otherHolder() const {
    return claim_ ? claim_->otherHolder() : QString();
}

bool LineEngine::InitModem() {
    modem_.ModemCommand("ATE0\r\n");
    if (closing_) return false;
    if (ComAc.Open()) ComAc.PurgeIn();
    modem_.PumpDelay(100);
    if (closing_) return false;
    const QByteArray reply = modem_.ModemCommand(settings_.InitStr + "\r\n");
    const bool ready = reply == "OK" && ComAc.Open();
    kind_->greet(ready && !closing_);
    return ready;
}

void LineEngine::TarvikEventsIdle() {
    retiredKind_.reset();
    kind_->idle();
    if (afterIdle) afterIdle();
}

void LineEngine::logOpenFailure() {
    writeLog(QByteArray::fromStdString(ComAc.LastOpenError().errorString()), LogLevel::Warning);
}

bool LineEngine::portOpen() const {
    return usesModem() ? ComAc.Open() : connected_;
}

bool LineEngine::isOpen() const {
    return network_ ? network_->switchedOn() : portAdapter_.isOpen();
}

void LineEngine::setOpen(bool open) {
    if (network_) return network_->switchOn(open);
    // A modem another TARVIK took while the calls came from a server stays its.
    if (open && !claimDevice()) return tellDeviceTaken();
    portAdapter_.setOpen(open);
    if (open && !portAdapter_.isOpen()) logOpenFailure();
    if (open && portAdapter_.isOpen()) kind_->portOpened();
}

LineEngine::ModemSetUp LineEngine::modemSetUp() const {
    return {settings_.CidMode, settings_.InitStr, settings_.CidInitStr, settings_.NcidServer};
}

void LineEngine::settingsChanged(const ModemSetUp& before) {
    const auto [cidModeBefore, initBefore, cidInitBefore, serverBefore] = before;
    const bool modemBefore = cidModeBefore != kCidFromServer;
    if (cidModeBefore != settings_.CidMode ||
        (!usesModem() && serverBefore != settings_.NcidServer))
        chooseKind();
    if (modemBefore && !usesModem()) {
        stopModem();
        if (onPortState) onPortState(false);
    } else if (!modemBefore && usesModem()) {
        connected_ = false;
        const Start start = startModem();
        if (start == Start::DeviceTaken) tellDeviceTaken();
        if (onPortState) onPortState(ComAc.Open());
        if (start == Start::Closed) return;
        if (start == Start::Ready) context_.view.setStatusText(kWaitingForCall);
        recoveryTimer_.start();
    } else if (modemSetUp() != before && ComAc.Open()) {
        InitModem();
    }
    kind_->watch();
    if (ncidService_) ncidService_->setLogSource(callLogSource(settings_));
}

void LineEngine::close() {
    if (closing_) return;
    closing_ = true;
    context_.state().InCall = false;
    recoveryTimer_.stop();
    ncidRetry_.stop();
    kind_->stop();
    ComAc.SetOpen(false);
}

} // namespace tarvik
