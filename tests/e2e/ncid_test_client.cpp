#include "ncid_test_client.h"

#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace tarvik::e2e {
namespace {

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

sockaddr_in loopbackAddress(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

FileHandle tcpSocket() {
    return FileHandle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

quint16 freeLoopbackPort() {
    FileHandle socket = tcpSocket();
    sockaddr_in address = loopbackAddress(0);
    socklen_t size = sizeof address;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool bindSource(int socket, QByteArrayView source) {
    if (source.isEmpty()) return true;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source.toByteArray().constData(), &address.sin_addr) != 1)
        return false;
    // The port is picked at connect, which may take one of a closed connection in
    // TIME_WAIT again; bind cannot, and a client that reconnects fast runs out.
    const int on = 1;
    ::setsockopt(socket, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

PortHolder::PortHolder(quint16 port)
    : socket_(tcpSocket()) {
    const sockaddr_in address = loopbackAddress(port);
    if (::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket_.get(), 1) != 0)
        socket_.reset();
}

NcidClient::NcidClient(quint16 port, milliseconds timeout, int receiveBuffer,
                       QByteArrayView sourceAddress) {
    const auto deadline = Clock::now() + timeout;
    const sockaddr_in address = loopbackAddress(port);
    for (;;) {
        FileHandle socket = tcpSocket();
        if (receiveBuffer > 0)
            ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (!bindSource(socket.get(), sourceAddress)) return;
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
            0) {
            ::fcntl(socket.get(), F_SETFL, O_NONBLOCK);
            socket_ = std::move(socket);
            return;
        }
        if (Clock::now() >= deadline) return;
        QThread::msleep(20);
    }
}

bool NcidClient::send(QByteArrayView bytes) {
    const auto deadline = Clock::now() + milliseconds(5000);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket_.get(), bytes.data() + sent,
                                 static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd wait{socket_.get(), POLLOUT, 0};
        if (::poll(&wait, 1, remainingMs(deadline)) <= 0) return false;
    }
    return true;
}

void NcidClient::readAvailable() {
    if (closed_ || !socket_) return;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            bytesRead_ += n;
            partial_.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) closed_ = true;
        break;
    }
    const auto now = Clock::now();
    qsizetype start = 0;
    for (qsizetype end; (end = partial_.indexOf('\n', start)) >= 0; start = end + 1) {
        NcidLine line{partial_.mid(start, end - start), false, now};
        line.crlf = line.text.endsWith('\r');
        if (line.crlf)
            line.text.chop(1);
        else
            sawBareLf_ = true;
        lines_.push_back(std::move(line));
    }
    partial_.remove(0, start);
}

bool NcidClient::waitReadable(milliseconds timeout) {
    if (closed_ || !socket_) return false;
    pollfd wait{socket_.get(), POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return false;
    readAvailable();
    return true;
}

std::optional<NcidLine> NcidClient::nextLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    readAvailable();
    while (lines_.empty() && !closed_) {
        const int left = remainingMs(deadline);
        if (left == 0 && Clock::now() >= deadline) return std::nullopt;
        waitReadable(milliseconds(left));
    }
    if (lines_.empty()) return std::nullopt;
    NcidLine line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

QList<QByteArray> NcidClient::linesUntil(QByteArrayView prefix, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    QList<QByteArray> lines;
    while (auto line = nextLine(milliseconds(remainingMs(deadline)))) {
        lines.append(line->text);
        if (line->text.startsWith(prefix)) break;
    }
    return lines;
}

bool NcidClient::closedWithin(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    readAvailable();
    while (!closed_ && Clock::now() < deadline)
        waitReadable(milliseconds(std::max(1, remainingMs(deadline))));
    lines_.clear();
    return closed_;
}

CallerToCid watchCallerToCid(NcidClient& client, const QString& logPath, qint64 logOffset,
                             milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    QFile log(logPath);
    bool logged = false;
    // The last look at the log that did not find the caller began here; the
    // caller's line was written after it.
    Clock::time_point lastMiss = Clock::now();
    const auto lookAtLog = [&] {
        if (logged) return;
        const auto lookedAt = Clock::now();
        // Re-read from the offset: the file grows under us.
        logged = (log.isOpen() || log.open(QIODevice::ReadOnly)) && log.seek(logOffset) &&
                 log.readAll().contains("CallerID:");
        if (!logged) lastMiss = lookedAt;
    };
    CallerToCid result;
    while (Clock::now() < deadline && !client.closed()) {
        lookAtLog();
        const auto line = client.nextLine(milliseconds(1));
        if (!line) continue;
        result.lines.append(line->text);
        if (!line->text.startsWith("CID:")) continue;
        lookAtLog();
        if (logged)
            result.delay =
                std::chrono::duration_cast<std::chrono::microseconds>(line->at - lastMiss);
        break;
    }
    return result;
}

} // namespace tarvik::e2e
