#pragma once
// The server side of the NCID protocol in the test process, on 127.0.0.1, for
// whole-program tests and benchmarks of the desktop program as an NCID client.
// One thread serves every connection; the test's calls are safe from any thread.
#include "ncid_test_client.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvik::e2e {

struct NcidTestConnection {
    QList<QByteArray> received; // every line the client sent, without its end
    bool open = true;           // neither side has closed it
};

class NcidTestServer {
public:
    // Listens on `port`, or on a free one when 0, until destroyed.
    explicit NcidTestServer(quint16 port = 0);
    ~NcidTestServer();

    bool listening() const { return listener_.holding(); }
    quint16 port() const { return port_; }
    // The line, with CR LF, to every open client past its start-up ("HELLO: CMD:").
    void send(QByteArrayView line);
    // Waits for `count` such clients.
    bool waitForClients(int count, std::chrono::milliseconds timeout);
    // Every connection so far, in the order they came.
    QList<NcidTestConnection> connections() const;
    // Closes every open connection; returns once they are closed.
    void closeClients();
    // Connections accepted from now on are told nothing, not even the greeting.
    void setSilent(bool silent);

private:
    struct Client : NcidTestConnection {
        FileHandle socket;
        QByteArray partial;
        bool started = false;
        bool live() const { return open && started; }
    };
    void serve();
    void read(Client& client);

    quint16 port_;
    PortHolder listener_;
    FileHandle wake_; // an eventfd: the destructor's word to the thread
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Client> clients_; // closed ones too; only the thread adds
    bool silent_ = false;
    std::thread thread_;
};

} // namespace tarvik::e2e
