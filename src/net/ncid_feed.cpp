#include "net/ncid_feed.h"

#include "platform/log_categories.h"

#include <QTimer>
#include <algorithm>

namespace tarvik {
namespace {

constexpr qint64 kReadChunk = 4 * 1024;

class TimerAlarm final : public NcidAlarm {
public:
    TimerAlarm() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The call may set the alarm again.
            if (const auto fire = std::exchange(fire_, {})) fire();
        });
    }
    void set(int ms, std::function<void()> fire) override {
        fire_ = std::move(fire);
        timer_.start(ms);
    }
    void cancel() override {
        timer_.stop();
        fire_ = {};
    }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

} // namespace

std::unique_ptr<NcidAlarm> makeTimerAlarm() {
    return std::make_unique<TimerAlarm>();
}

NcidFeed::NcidFeed(NcidServerAddress server, QByteArray version, Hooks hooks,
                   std::unique_ptr<NcidAlarm> alarm)
    : server_(std::move(server))
    , version_(std::move(version))
    , hooks_(std::move(hooks))
    , alarm_(std::move(alarm)) {
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
        phase_ = Phase::Startup;
        setKeepAlive(socket_, kKeepAlive);
        heard();
    });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { readLines(); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_,
                     [this] { lose(QStringLiteral("The server closed the connection")); });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_,
                     [this] { lose(socket_.errorString()); });
}

NcidFeed::~NcidFeed() {
    alarm_->cancel();
    socket_.disconnect();
    socket_.abort();
}

void NcidFeed::start() {
    if (phase_ == Phase::Idle) connectToServer();
}

void NcidFeed::connectToServer() {
    phase_ = Phase::Connecting;
    lines_.clear();
    helloSent_ = false;
    yo_ = false;
    tell(NcidFeedStatus::State::Connecting);
    // Set first: a connect may fail at once, and its retry must stand.
    alarm_->set(kStartupMs, [this] { lose(QStringLiteral("The server did not answer")); });
    qCDebug(lcNet) << "connecting to NCID server" << server_.host << server_.port;
    socket_.connectToHost(server_.host, server_.port);
}

void NcidFeed::readLines() {
    while (connected() && socket_.bytesAvailable() > 0) {
        const QByteArray bytes = socket_.read(kReadChunk);
        lines_.feed(bytes, [this](QByteArrayView line, bool cut) {
            heard();
            if (cut)
                qCDebug(lcNet) << "NCID server line too long, skipped";
            else
                take(readNcidFeedLine(line));
            return connected();
        });
    }
}

void NcidFeed::take(const NcidFeedLine& line) {
    if (line.forwarded) return;
    using Kind = NcidFeedLine::Kind;
    if (line.kind == Kind::Banner) qCDebug(lcNet) << "NCID server:" << line.text;
    if (line.kind == Kind::Api && !helloSent_) {
        helloSent_ = true;
        yo_ = line.featureSets.contains(kYoFeatureSet);
        write("HELLO: IDENT: client tarvik " + version_);
        write("HELLO: CMD: no_log");
    }
    if (line.kind == Kind::StartupEnd && phase_ == Phase::Startup) {
        phase_ = Phase::Live;
        retryS_ = kFirstRetryS;
        heard();
        tell(NcidFeedStatus::State::Connected);
    }
    if (line.isRecord() && hooks_.record) hooks_.record(line);
}

// Any line shows the server is there.
void NcidFeed::heard() {
    if (phase_ == Phase::Startup)
        alarm_->set(kStartupMs,
                    [this] { lose(QStringLiteral("The server did not finish its start-up")); });
    else if (phase_ == Phase::Live)
        alarm_->set(kSilenceMs, [this] { probe(); });
}

// A server that has said nothing for long may be gone: one with "REQ: YO"
// must answer it; to others an empty line is sent, and the system's limit on
// unacknowledged output ends a connection that does not take it.
void NcidFeed::probe() {
    if (yo_) {
        write("REQ: YO");
        alarm_->set(kAnswerMs,
                    [this] { lose(QStringLiteral("The server did not answer REQ: YO")); });
    } else {
        write({});
        alarm_->set(kSilenceMs, [this] { probe(); });
    }
}

void NcidFeed::lose(const QString& reason) {
    if (phase_ == Phase::Idle || phase_ == Phase::Waiting) return;
    phase_ = Phase::Waiting;
    socket_.abort();
    const int delayS = retryS_;
    retryS_ = std::min(retryS_ * 2, kLastRetryS);
    qCDebug(lcNet) << "NCID server lost:" << reason << "- next try in" << delayS << "s";
    alarm_->set(delayS * 1000, [this] { connectToServer(); });
    tell(NcidFeedStatus::State::Disconnected, delayS, reason);
}

// The protocol's client lines end in a bare LF.
void NcidFeed::write(const QByteArray& line) {
    socket_.write(line + '\n');
}

void NcidFeed::tell(NcidFeedStatus::State state, int retryInS, const QString& reason) {
    if (hooks_.status) hooks_.status({state, retryInS, reason});
}

} // namespace tarvik
