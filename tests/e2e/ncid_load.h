#pragma once
// Load on the program's NCID server for whole-program tests and benchmarks:
// clients that fetch the call log over and over, each from an address of its own.
#include "store/file_handle.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tarvik::e2e {

class NcidLoad {
public:
    // Starts `clients` connections to 127.0.0.1:port, the i-th from 127.0.0.(2+i):
    // each reads up to "300 End of connection startup", closes and connects again.
    // At most 250 clients.
    NcidLoad(quint16 port, int clients);
    ~NcidLoad();
    NcidLoad(const NcidLoad&) = delete;
    NcidLoad& operator=(const NcidLoad&) = delete;

    // Stops and joins the worker; the connections are closed.
    void stop();

    // Start-ups read to their end.
    long long fetches() const { return fetches_.load(); }
    // The fewest fetches of one client: every client got through once when above 0.
    long long fewestFetches() const;
    long long bytesRead() const { return bytesRead_.load(); }
    // Connections refused, or closed by the server before the start-up's end.
    long long cut() const { return cut_.load(); }

private:
    struct Connection;
    void run(int clients);

    quint16 port_;
    FileHandle wake_; // an eventfd; written to stop the worker
    std::atomic<long long> fetches_{0};
    std::atomic<long long> bytesRead_{0};
    std::atomic<long long> cut_{0};
    std::vector<std::atomic<long long>> perClient_;
    std::thread worker_;
};

// Writes a call log of about `bytes` bytes to `path`: one caller's line after
// another, stamped a few days ago.
bool writeCallLog(const QString& path, qint64 bytes);

} // namespace tarvik::e2e
