#pragma once
#include "net/call_log_feed.h"
#include "net/keep_alive.h"
#include "net/ncid_requests.h"

#include <QByteArray>
#include <QDate>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

namespace tarvik {

// What a connection needs to know at its start.
struct NcidClientSetup {
    QByteArray version;
    QByteArray lineId;
    bool sendLog = true;
    CallLogSource log;
    QDate today;
    NcidKeepAlive keepAlive;
};

class NcidClient;

// What a connection tells its server.
struct NcidClientHooks {
    // The connection has ended; the client may go on the next pass of the loop.
    std::function<void()> finished;
    // The client sent a message for the other clients (its text only).
    std::function<void(const NcidClient& from, const QByteArray& text)> message;
};

// One NCID client: the start-up (greeting, the client's HELLO lines, the call
// log), then the live records. It never waits on the client: what the client
// does not take in time, or sends out of bounds, ends the connection.
class NcidClient {
public:
    // How long the client may take to say HELLO before the call log starts.
    static constexpr int kHelloMs = 250;
    // Unsent output beyond which the client is taken to be stuck.
    static constexpr qint64 kQueueMax = 64 * 1024;
    // Time the client may leave output unread that the system could not take.
    static constexpr int kStallMs = 10'000;
    // Live records held while the start-up runs.
    static constexpr std::size_t kHeldMax = 64;

    NcidClient(std::unique_ptr<QTcpSocket> socket, NcidClientSetup setup, NcidClientHooks hooks);
    ~NcidClient();
    NcidClient(const NcidClient&) = delete;
    NcidClient& operator=(const NcidClient&) = delete;

    // A live record (without CR LF); held until the start-up has ended.
    void send(const QByteArray& line);
    bool finished() const { return finished_; }
    // The client's address, kept from the connection's start.
    const QHostAddress& peer() const { return peer_; }

private:
    enum class Stage { Hello, Log, Live };

    void startLog();
    void pumpLog();
    void endStartup(const char* logResult);
    void readLines();
    void handle(const NcidRequest& request);
    void write(const QByteArray& bytes);
    void watchStall();
    void drop();
    void closeAfterGoodbye();
    void finish();

    std::unique_ptr<QTcpSocket> socket_;
    QHostAddress peer_;
    NcidClientSetup setup_;
    NcidClientHooks hooks_;
    Stage stage_ = Stage::Hello;
    bool noLog_ = false;
    bool closing_ = false;
    bool pumping_ = false;
    bool finished_ = false;
    NcidRequestReader reader_;
    std::deque<QByteArray> held_;
    CallLogFeed feed_;
    QTimer helloTimer_;
    QTimer pumpTimer_;
    QTimer goodbyeTimer_;
    QTimer stallTimer_;
    QElapsedTimer clock_;
};

} // namespace tarvik
