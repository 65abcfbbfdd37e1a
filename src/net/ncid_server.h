#pragma once
#include "net/ncid_client.h"
#include "net/ncid_settings.h"

#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace tarvik {

// The server for NCID clients: it tells every connected client of the line's
// rings, callers and dials. It runs on the program's event loop and never
// waits on a client.
class NcidServer {
public:
    static constexpr std::size_t kClientsMax = 50;

    struct Setup {
        NcidSettings settings;
        QByteArray version;
        // The call log as it is when a client connects.
        std::function<CallLogSource()> logSource;
    };

    explicit NcidServer(Setup setup);
    ~NcidServer();
    NcidServer(const NcidServer&) = delete;
    NcidServer& operator=(const NcidServer&) = delete;

    // Starts listening; false with the reason when the address cannot be had.
    bool listen(QString& error);
    quint16 port() const { return server_.serverPort(); }
    std::size_t clientCount() const;

    void ringCounted(int ring);
    void answering();
    void callerIdentified(const QByteArray& number);
    void dialing(const QByteArray& number);

private:
    void acceptPending();
    void broadcast(const QByteArray& line);
    void removeFinished();

    Setup setup_;
    QTcpServer server_;
    std::vector<std::unique_ptr<NcidClient>> clients_;
    // Finished clients go on the next pass of the event loop, never from inside
    // their own socket's signal.
    QTimer removal_;
};

} // namespace tarvik
