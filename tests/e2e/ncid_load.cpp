#include "ncid_load.h"

#include "ncid_test_client.h"
#include "store/calllog.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace tarvik::e2e {
namespace {

// The start-up's last line; no line of the log begins with its code.
constexpr QByteArrayView kStartupEnd = "\n300 ";
// A refusing server is not hammered.
constexpr milliseconds kRetryPause(100);

} // namespace

struct NcidLoad::Connection {
    std::size_t index = 0;
    QByteArray source;
    FileHandle socket;
    bool connecting = false;
    Clock::time_point retryAt{};
    QByteArray tail; // the last bytes read, for an end line split between two reads
};

NcidLoad::NcidLoad(quint16 port, int clients)
    : port_(port)
    , wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , perClient_(static_cast<std::size_t>(std::clamp(clients, 0, 250))) {
    if (wake_) worker_ = std::thread([this] { run(static_cast<int>(perClient_.size())); });
}

NcidLoad::~NcidLoad() {
    stop();
}

void NcidLoad::stop() {
    if (!worker_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    worker_.join();
}

long long NcidLoad::fewestFetches() const {
    if (perClient_.empty()) return 0;
    long long fewest = perClient_.front().load();
    for (const auto& fetches : perClient_)
        fewest = std::min(fewest, fetches.load());
    return fewest;
}

void NcidLoad::run(int clients) {
    std::vector<Connection> connections(static_cast<std::size_t>(clients));
    for (std::size_t i = 0; i < connections.size(); ++i) {
        connections[i].index = i;
        connections[i].source = "127.0.0." + QByteArray::number(static_cast<int>(2 + i));
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port_);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    const auto cutOff = [this](Connection& connection) {
        connection.socket.reset();
        connection.retryAt = Clock::now() + kRetryPause;
        ++cut_;
    };
    const auto open = [&](Connection& connection) {
        connection.tail.clear();
        connection.socket =
            FileHandle(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!connection.socket || !bindSource(connection.socket.get(), connection.source))
            return cutOff(connection);
        const int rc = ::connect(connection.socket.get(),
                                 reinterpret_cast<const sockaddr*>(&server), sizeof server);
        connection.connecting = rc != 0 && errno == EINPROGRESS;
        if (rc != 0 && !connection.connecting) cutOff(connection);
    };
    std::vector<char> buffer(1 << 16);
    const auto read = [&](Connection& connection) {
        for (;;) {
            const ssize_t n = ::recv(connection.socket.get(), buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) return cutOff(connection);
            bytesRead_ += n;
            const QByteArrayView chunk(buffer.data(), n);
            const qsizetype keep = std::min<qsizetype>(n, kStartupEnd.size() - 1);
            QByteArray seam = connection.tail;
            if (seam.append(chunk.first(keep)).contains(kStartupEnd) ||
                chunk.contains(kStartupEnd)) {
                ++fetches_;
                ++perClient_[connection.index];
                connection.socket.reset();
                connection.retryAt = {};
                return;
            }
            connection.tail.append(chunk.last(keep));
            connection.tail = connection.tail.right(kStartupEnd.size() - 1);
        }
    };

    std::vector<pollfd> waits;
    std::vector<Connection*> polled;
    for (;;) {
        const auto now = Clock::now();
        auto nextRetry = Clock::time_point::max();
        waits.assign(1, pollfd{wake_.get(), POLLIN, 0});
        polled.clear();
        for (Connection& connection : connections) {
            if (!connection.socket && connection.retryAt <= now) open(connection);
            if (connection.socket) {
                const short events = connection.connecting ? POLLOUT : POLLIN;
                waits.push_back(pollfd{connection.socket.get(), events, 0});
                polled.push_back(&connection);
            } else {
                nextRetry = std::min(nextRetry, connection.retryAt);
            }
        }
        int timeout = -1;
        if (nextRetry != Clock::time_point::max())
            timeout =
                std::max(0, static_cast<int>(
                                std::chrono::ceil<milliseconds>(nextRetry - Clock::now()).count()));
        if (::poll(waits.data(), waits.size(), timeout) < 0 && errno != EINTR) return;
        if (waits.front().revents != 0) return;
        for (std::size_t i = 1; i < waits.size(); ++i) {
            if (waits[i].revents == 0) continue;
            Connection& connection = *polled[i - 1];
            if (connection.connecting) {
                int error = 0;
                socklen_t size = sizeof error;
                ::getsockopt(connection.socket.get(), SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0) {
                    cutOff(connection);
                    continue;
                }
                connection.connecting = false;
            }
            read(connection);
        }
    }
}

bool writeCallLog(const QString& path, qint64 bytes) {
    const QByteArray line =
        logStamp(QDateTime::currentDateTime().addDays(-3)) + "CallerID: 55512343\r\n";
    QByteArray text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace tarvik::e2e
