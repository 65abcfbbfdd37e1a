#include "engine/network_kind.h"

#include "modem/held_error_log.h"
#include "modem/number_display.h"
#include "platform/errors.h"
#include "store/call_record.h"
#include "store/caller_report.h"
#include "store/codepage.h"
#include "store/settings.h"

#include <QTimer>

namespace tarvik {
namespace {

// The server's word for a field it has no value for.
bool isNone(QByteArrayView value) {
    return value.isEmpty() || value == "-";
}

QByteArray nameOf(const NcidRecordFields& fields) {
    return isNone(fields.name) || fields.name == "NO NAME" ? QByteArray() : fields.name;
}

// "number name" of a record as the status bar and the log tell it; empty when neither came.
QByteArray callerOf(const NcidRecordFields& fields) {
    return (ncidReportedNumber(fields.number) + ' ' + nameOf(fields)).trimmed();
}

// The server's text in our log: a "CallerID:" in it would be read back as a call.
QByteArray loggable(QByteArray text) {
    return text.replace(kCallerIdMark, "CallerID?");
}

constexpr char kNoServerSet[] = "No NCID server set: see Settings, Caller ID.";

} // namespace

NetworkKind::NetworkKind(CallContext context, RingSound& sound, NcidServerAddress server,
                         FeedFactory makeFeed)
    : c_(context)
    , sound_(sound)
    , server_(std::move(server))
    , serverText_(ncidServerText(server_).toUtf8())
    , makeFeed_(std::move(makeFeed)) {}

NetworkKind::~NetworkKind() {
    stop();
}

void NetworkKind::watch() {
    if (watched_) return;
    watched_ = true;
    if (server_.host.isEmpty()) {
        c_.view.setStatusText(kNoServerSet);
        return connection(false);
    }
    on_ = true;
    live_ = std::make_shared<bool>(true);
    // A hook's fault is reported, never thrown into the feed's socket.
    const auto hook = [this, live = live_](auto handle) {
        return [this, live, handle](const auto& value) {
            if (!*live) return;
            ++dispatching_;
            runWithErrorReport([&] { (this->*handle)(value); });
            if (*live) --dispatching_;
        };
    };
    NcidFeed::Hooks hooks{hook(&NetworkKind::onRecord), hook(&NetworkKind::onStatus)};
    feed_ = makeFeed_(server_, std::move(hooks));
    if (feed_) feed_->start();
}

void NetworkKind::stop() {
    on_ = false;
    if (live_) *live_ = false;
    if (!feed_) return;
    // A feed may not end inside its own hook: its socket may be on the stack.
    if (dispatching_ > 0) QTimer::singleShot(0, [ending = std::move(feed_)] {});
    feed_.reset();
}

void NetworkKind::switchOn(bool on) {
    if (on == switchedOn()) return;
    if (on) {
        watched_ = false;
        return watch();
    }
    stop();
    lossLogged_ = false;
    c_.view.setStatusText("Not connected to " + serverText_ + '.');
    connection(false);
}

void NetworkKind::onRecord(const NcidFeedLine& record) {
    using Kind = NcidFeedLine::Kind;
    const NcidRecordFields& fields = record.fields;
    const QByteArray who = callerOf(fields);
    const QByteArray about = who.isEmpty() ? QByteArray(".") : ": " + who;
    switch (record.kind) {
    case Kind::Ring:
        return ring(record.ring);
    case Kind::Caller:
        return caller(fields);
    case Kind::HungUp:
        return tell("Call hung up by the server" + about);
    case Kind::Blocked:
        return tell("Call blocked" + about);
    case Kind::Waiting:
        return tell("Call waiting" + about);
    case Kind::Message:
        return tell("Message: " + record.text);
    default:
        return; // dials and the connection's own lines
    }
}

void NetworkKind::ring(int ring) {
    // 0 and below: answered or ended; the status keeps what it told.
    if (ring < 1) return;
    if (ring == 1) {
        callerShown_ = false;
        sound_.beep();
        sound_.playWav(c_.settings.SoundFile);
    }
    if (!callerShown_) c_.view.setStatusText("Incoming call (" + QByteArray::number(ring) + ").");
}

// Logged as a reporting modem's lines, so the call log reads the caller back;
// the line's label goes before them, as a pair must stay together.
void NetworkKind::caller(const NcidRecordFields& fields) {
    callerShown_ = true;
    const QByteArray name = nameOf(fields);
    HeldErrorLog log(c_.log);
    if (!isNone(fields.line)) log.write("Caller on line " + loggable(fields.line));
    log.write("NMBR = " + loggable(fields.number));
    if (!name.isEmpty()) log.write("NAME = " + loggable(name));
    // No modem to hang up with: the phone book gives its name only.
    const CallerVerdict verdict = c_.screen->screen(fields.number, isWithheldNumber(fields.number));
    const QByteArray status = reportedCallerStatus(fields.number, shownCallerName(verdict, name));
    c_.state().CallerNumber = reportedDigits(fields.number);
    ShowReportedCaller(c_.view, fields.number, c_.settings.DigCol, status);
    c_.view.setStatusText(status);
    log.raiseHeldError();
}

// The log keeps the server's bytes, as it keeps a modem's; the status bar
// shows single-byte text.
void NetworkKind::tell(const QByteArray& text) {
    c_.view.setStatusText(toCp1251(reportedNameText(text)));
    c_.log(loggable(text));
}

void NetworkKind::onStatus(const NcidFeedStatus& status) {
    using State = NcidFeedStatus::State;
    switch (status.state) {
    case State::Connected:
        lossLogged_ = false;
        c_.view.setStatusText("Connected to " + serverText_);
        connection(true);
        c_.log("Connected to " + serverText_);
        return;
    case State::Connecting:
        c_.view.setStatusText("Not connected to " + serverText_ + ", connecting now.");
        return connection(false);
    case State::Disconnected:
        break;
    }
    c_.view.setStatusText("Not connected to " + serverText_ + ", trying again in " +
                          QByteArray::number(status.retryInS) + " s.");
    const bool wasConnected = connected_.value_or(false);
    connection(false);
    if (lossLogged_) return;
    lossLogged_ = true;
    const QByteArray reason = status.reason.toUtf8();
    c_.log((wasConnected ? "Connection to " + serverText_ + " lost: "
                         : "No connection to " + serverText_ + ": ") +
           reason);
}

void NetworkKind::connection(bool connected) {
    if (connected_ == connected) return;
    connected_ = connected;
    if (onConnection) onConnection(connected);
}

NetworkKind::FeedFactory ncidFeeds(QByteArray version) {
    return [version = std::move(version)](const NcidServerAddress& server, NcidFeed::Hooks hooks) {
        return std::make_unique<NcidFeed>(server, version, std::move(hooks));
    };
}

} // namespace tarvik
