#include "ncid_test_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <ranges>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace tarvik::e2e {
namespace {

// Blocking: a client that reads nothing holds the test up, as it should show.
void writeLine(int socket, QByteArrayView line) {
    const QByteArray bytes = line.toByteArray() + "\r\n";
    (void)::send(socket, bytes.data(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
}

} // namespace

NcidTestServer::NcidTestServer(quint16 port)
    : port_(port != 0 ? port : freeLoopbackPort())
    , listener_(port_)
    , wake_(::eventfd(0, EFD_CLOEXEC))
    , thread_([this] { serve(); }) {}

NcidTestServer::~NcidTestServer() {
    const std::uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

void NcidTestServer::send(QByteArrayView line) {
    const std::lock_guard lock(mutex_);
    for (const Client& client : clients_)
        if (client.live()) writeLine(client.socket.get(), line);
}

bool NcidTestServer::waitForClients(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(
        lock, timeout, [&] { return std::ranges::count_if(clients_, &Client::live) >= count; });
}

QList<NcidTestConnection> NcidTestServer::connections() const {
    const std::lock_guard lock(mutex_);
    return {clients_.begin(), clients_.end()};
}

// The thread sees the end, as it would a client's own, and closes them.
void NcidTestServer::closeClients() {
    std::unique_lock lock(mutex_);
    for (const Client& client : clients_)
        ::shutdown(client.socket.get(), SHUT_RDWR);
    const auto closing = std::views::take(clients_, std::ssize(clients_));
    changed_.wait(lock, [&] { return std::ranges::none_of(closing, &Client::open); });
}

void NcidTestServer::setSilent(bool silent) {
    const std::lock_guard lock(mutex_);
    silent_ = silent;
}

void NcidTestServer::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A closed client's socket is -1, which poll skips: fds[2 + i] stays clients_[i].
        std::vector<pollfd> fds = {{wake_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        for (const Client& client : clients_)
            fds.push_back({client.socket.get(), POLLIN, 0});
        lock.unlock();
        ::poll(fds.data(), fds.size(), -1);
        lock.lock();
        if (fds[0].revents != 0) return;
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents != 0) read(clients_[i - 2]);
        changed_.notify_all();
        FileHandle socket(
            fds[1].revents != 0 ? ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC) : -1);
        if (!socket) continue;
        if (!silent_) {
            writeLine(socket.get(), "200 NCID test server");
            writeLine(socket.get(), "210 API: 1.5 Feature Set 1 2 3 4");
        }
        clients_.emplace_back().socket = std::move(socket);
    }
}

void NcidTestServer::read(Client& client) {
    char buffer[4096];
    const ssize_t n = ::recv(client.socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        client.socket.reset();
        client.open = false;
        return;
    }
    client.partial.append(buffer, n);
    for (qsizetype end; (end = client.partial.indexOf('\n')) >= 0;
         client.partial.remove(0, end + 1)) {
        client.received.append(client.partial.left(end));
        // It has no call log to send, asked for or not.
        if (client.received.last().startsWith("HELLO: CMD:") && !client.started) {
            writeLine(client.socket.get(), "300 End of connection startup");
            client.started = true;
        }
    }
}

} // namespace tarvik::e2e
