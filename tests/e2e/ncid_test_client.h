#pragma once
// A plain TCP client of the program's NCID server, for whole-program tests and
// benchmarks: it reads the server's lines with their arrival times, or stops
// reading on purpose to let its backlog fill.
#include "store/file_handle.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <netinet/in.h>

#include <chrono>
#include <deque>
#include <optional>

namespace tarvik::e2e {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A port on 127.0.0.1 that nobody listens on just now.
quint16 freeLoopbackPort();

// A TCP socket, not yet bound, and the address 127.0.0.1:port for it.
FileHandle tcpSocket();
sockaddr_in loopbackAddress(quint16 port);

// Binds `socket` to the IPv4 address `source` (a loopback one, say "127.0.0.7"),
// the port left to the connect; true also when `source` is empty.
bool bindSource(int socket, QByteArrayView source);

// A listening socket on 127.0.0.1:port: the port is in use.
class PortHolder {
public:
    explicit PortHolder(quint16 port);
    bool holding() const { return socket_.valid(); }
    int get() const { return socket_.get(); }

private:
    FileHandle socket_;
};

struct NcidLine {
    QByteArray text;   // without its line end
    bool crlf = false; // it ended with CR LF, not a bare LF
    Clock::time_point at;
};

class NcidClient {
public:
    // Connects to 127.0.0.1:port, again and again while it is refused (the program
    // may still be starting) for up to `timeout`. A receiveBuffer above 0 sets
    // SO_RCVBUF before the connection, for a client whose backlog is to fill. A
    // sourceAddress ("127.0.0.7") is the client's own address; the server counts
    // clients per address.
    explicit NcidClient(quint16 port, milliseconds timeout = milliseconds(10000),
                        int receiveBuffer = 0, QByteArrayView sourceAddress = {});
    bool connected() const { return socket_.valid(); }
    // Every byte sent; false when the connection is gone.
    bool send(QByteArrayView bytes);
    // The next line, waiting up to `timeout`; nothing on timeout or when closed.
    std::optional<NcidLine> nextLine(milliseconds timeout);
    // Lines up to and including the first that starts with `prefix`; those read
    // before the timeout (or the close) when none does.
    QList<QByteArray> linesUntil(QByteArrayView prefix, milliseconds timeout);
    QList<QByteArray> startup(milliseconds timeout = milliseconds(10000)) {
        return linesUntil("300 ", timeout);
    }
    // Whether the server closed the connection (an end of file or a reset) within
    // `timeout`; lines read meanwhile are dropped.
    bool closedWithin(milliseconds timeout);
    bool closed() const { return closed_; }
    // Bytes received so far.
    qint64 bytesRead() const { return bytesRead_; }
    // A line ended by a bare LF has been seen.
    bool sawBareLf() const { return sawBareLf_; }
    // Takes in what has arrived, without waiting.
    void readAvailable();

private:
    bool waitReadable(milliseconds timeout);

    FileHandle socket_;
    QByteArray partial_;
    std::deque<NcidLine> lines_;
    bool closed_ = false;
    bool sawBareLf_ = false;
    qint64 bytesRead_ = 0;
};

// From a caller's line in the log to the "CID:" line at a client.
struct CallerToCid {
    // Arrival of the CID line less the last moment the log (polled every
    // millisecond) was seen without the caller's line: the delay plus at most
    // one poll. Nothing when either did not come.
    std::optional<std::chrono::microseconds> delay;
    QList<QByteArray> lines; // read meanwhile, the CID line last
};
// Watches the log from byte `logOffset` on for a "CallerID:" line and the client
// for its next "CID:" line.
CallerToCid watchCallerToCid(NcidClient& client, const QString& logPath, qint64 logOffset,
                             milliseconds timeout);

} // namespace tarvik::e2e
