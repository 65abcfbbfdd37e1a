#pragma once
#include "net/ncid_client.h"
#include "net/ncid_settings.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTimer>
#include <memory>
#include <vector>

namespace tarvik {

// The server for NCID clients: it tells every connected client of the line's
// rings, callers and dials. It lives on one thread's event loop (NcidService
// gives it one of its own) and never waits on a client.
class NcidServer {
public:
    static constexpr std::size_t kClientsMax = 50;
    // Clients from one address: enough for every program of a household's
    // machine, few enough that one machine cannot lock the others out.
    static constexpr std::size_t kClientsPerAddressMax = 10;
    // Quiet after the last ring that means the ringing stopped without an answer.
    static constexpr int kRingingEndMs = 8000;

    struct Setup {
        NcidSettings settings;
        QByteArray version;
        // Where the call log is when a client connects.
        CallLogSource logSource;
        NcidKeepAlive keepAlive;
        int ringingEndMs = kRingingEndMs;
    };

    explicit NcidServer(Setup setup);
    ~NcidServer();
    NcidServer(const NcidServer&) = delete;
    NcidServer& operator=(const NcidServer&) = delete;

    // Starts listening; false with the reason when the address cannot be had.
    bool listen(QString& error);
    quint16 port() const { return server_.serverPort(); }
    std::size_t clientCount() const;
    void setLogSource(CallLogSource source) { setup_.logSource = std::move(source); }

    // What happened on the line, and when.
    void ringCounted(int ring, const QDateTime& at);
    // A ring of a call the settings leave unanswered: counted here.
    void ringIgnored(const QDateTime& at);
    // The answer is over: the caller, if any, has been told.
    void answered(const QDateTime& at);
    void callerIdentified(const QByteArray& number, const QByteArray& name, const QDateTime& at);
    // A caller hung up on: a "HUP:" line with the fields of a "CID:" line.
    void callerHungUp(const QByteArray& number, const QByteArray& name, const QDateTime& at);
    void dialing(const QByteArray& number, const QDateTime& at);

private:
    void acceptPending();
    void refuse(std::unique_ptr<QTcpSocket> socket, const QByteArray& why);
    std::size_t clientsFrom(const QHostAddress& address) const;
    void broadcast(const QByteArray& line, const NcidClient* except = nullptr);
    void relayMessage(const NcidClient* from, const QByteArray& text);
    void ringingEnded();
    void removeFinished();

    Setup setup_;
    QTcpServer server_;
    std::vector<std::unique_ptr<NcidClient>> clients_;
    // Finished clients go on the next pass of the event loop, never from inside
    // their own socket's signal.
    QTimer removal_;
    // The ring count of the call now ringing, 0 when none rings.
    int ringing_ = 0;
    QTimer ringingEnd_;
};

} // namespace tarvik
