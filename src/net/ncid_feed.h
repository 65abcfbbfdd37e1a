#pragma once
#include "net/keep_alive.h"
#include "net/line_splitter.h"
#include "net/ncid_feed_lines.h"
#include "net/ncid_lines.h"
#include "store/ncid_address.h"

#include <QString>
#include <QTcpSocket>
#include <functional>
#include <memory>

namespace tarvik {

// The one deadline a feed waits for at a time: the next try, the start-up, the
// server's silence, its answer to a probe. Tests run one by hand.
class NcidAlarm {
public:
    virtual ~NcidAlarm() = default;
    // Calls `fire` once, `ms` from now, in place of what was set before.
    virtual void set(int ms, std::function<void()> fire) = 0;
    virtual void cancel() = 0;
};

// An alarm on a timer of the calling thread's event loop.
std::unique_ptr<NcidAlarm> makeTimerAlarm();

struct NcidFeedStatus {
    enum class State {
        Connecting,   // from the connect to the end of the server's start-up
        Connected,    // the server's records come
        Disconnected, // the next try comes in `retryInS` seconds
    };
    State state = State::Disconnected;
    int retryInS = 0;
    // Why the last connection ended or failed.
    QString reason;
};

// A client of an NCID server: connects, passes the start-up (asking for no call
// log), hands on each live record, and keeps trying after a loss, 1 s after the
// first, then twice as long each time up to a minute, without end. Lives on
// its thread's event loop. Lines a forwarding gateway meant for a server (a
// leading '+') are left out, as the protocol asks of clients.
class NcidFeed {
public:
    static constexpr int kFirstRetryS = 1;
    static constexpr int kLastRetryS = 60;
    // The longest the server may keep silent in its start-up, the connect included.
    static constexpr int kStartupMs = 30'000;
    // Silence after which the feed asks whether the server is still there.
    static constexpr int kSilenceMs = 15 * 60'000;
    // The time the server has to answer "REQ: YO".
    static constexpr int kAnswerMs = 60'000;
    // A pulled cable is noticed within about two minutes.
    static constexpr NcidKeepAlive kKeepAlive{60, 10, 6, 120'000};
    // The feature set with "REQ: YO", a probe the server answers.
    static constexpr int kYoFeatureSet = 4;

    struct Hooks {
        // A live record: a ring, a call, a message.
        std::function<void(const NcidFeedLine&)> record;
        std::function<void(const NcidFeedStatus&)> status;
    };

    // `version` is the program's, for the server's log of its clients. A hook
    // may not destroy the feed: its socket may be on the stack.
    NcidFeed(NcidServerAddress server, QByteArray version, Hooks hooks,
             std::unique_ptr<NcidAlarm> alarm = makeTimerAlarm());
    ~NcidFeed();
    NcidFeed(const NcidFeed&) = delete;
    NcidFeed& operator=(const NcidFeed&) = delete;

    void start();
    const NcidServerAddress& server() const { return server_; }

private:
    // Waiting for the next try; the connect; the server's start-up; its records.
    enum class Phase { Idle, Waiting, Connecting, Startup, Live };

    bool connected() const { return phase_ == Phase::Startup || phase_ == Phase::Live; }
    void connectToServer();
    void readLines();
    void take(const NcidFeedLine& line);
    void heard();
    void probe();
    void lose(const QString& reason);
    void write(const QByteArray& line);
    void tell(NcidFeedStatus::State state, int retryInS = 0, const QString& reason = {});

    NcidServerAddress server_;
    QByteArray version_;
    Hooks hooks_;
    std::unique_ptr<NcidAlarm> alarm_;
    QTcpSocket socket_;
    LineSplitter lines_{ncid::kLineMax};
    Phase phase_ = Phase::Idle;
    int retryS_ = kFirstRetryS;
    bool helloSent_ = false;
    bool yo_ = false;
};

} // namespace tarvik
