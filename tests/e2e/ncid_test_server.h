#pragma once
// The server side of the NCID protocol in the test process, on 127.0.0.1, for
// whole-program tests and benchmarks of the desktop program as an NCID client.
// One thread serves every connection; the test's calls are safe from any thread.
#include "store/file_handle.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvik::e2e {

struct NcidTestConnection {
    QList<QByteArray> received; // every line the client sent, without its end
    bool started = false;       // its start-up ended with the "300" line
    bool open = true;           // neither side has closed it
};

class NcidTestServer {
public:
    // Listens on `port`, or on a free one when 0.
    explicit NcidTestServer(quint16 port = 0);
    // Stops listening: a client's next connect is refused.
    ~NcidTestServer();
    NcidTestServer(const NcidTestServer&) = delete;
    NcidTestServer& operator=(const NcidTestServer&) = delete;

    bool listening() const { return listener_.valid(); }
    quint16 port() const { return port_; }

    // The line, with CR LF, to every client past its start-up.
    void send(QByteArrayView line);
    // Open connections past their start-up.
    int clients() const;
    bool waitForClients(int count, std::chrono::milliseconds timeout);
    // Every connection so far, in the order they came.
    QList<NcidTestConnection> connections() const;
    // Closes every open connection; returns once they are closed.
    void closeClients();
    // Connections accepted from now on are told nothing, not even the greeting.
    void setSilent(bool silent);

private:
    struct Client {
        FileHandle socket;
        int index = 0; // into connections_
        QByteArray partial;
        std::chrono::steady_clock::time_point startupEnd;
    };

    void serve();
    int startedClients() const;
    int pollTimeoutMs() const;
    void accept();
    void read(Client& client);
    void take(Client& client, const QByteArray& line);
    void finishStartup(Client& client);
    void write(const Client& client, QByteArrayView line);
    void close(Client& client);

    quint16 port_ = 0;
    FileHandle listener_;
    FileHandle wake_; // an eventfd: the destructor's word to the thread
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Client> clients_;
    QList<NcidTestConnection> connections_;
    bool silent_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tarvik::e2e
