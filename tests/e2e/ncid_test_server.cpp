#include "ncid_test_server.h"

#include "ncid_test_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace tarvik::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// A client that does not say HELLO: CMD gets the rest of its start-up after this.
constexpr std::chrono::milliseconds kHelloWait(1000);

FileHandle listenOn(quint16 port) {
    FileHandle socket = tcpSocket();
    const int on = 1;
    const sockaddr_in address = loopbackAddress(port);
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.get(), 8) != 0)
        socket.reset();
    return socket;
}

} // namespace

NcidTestServer::NcidTestServer(quint16 port)
    : port_(port != 0 ? port : freeLoopbackPort())
    , listener_(listenOn(port_))
    , wake_(::eventfd(0, EFD_CLOEXEC))
    , thread_([this] { serve(); }) {}

NcidTestServer::~NcidTestServer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

void NcidTestServer::send(QByteArrayView line) {
    const std::lock_guard lock(mutex_);
    for (const Client& client : clients_)
        if (connections_[client.index].started) write(client, line);
}

int NcidTestServer::clients() const {
    const std::lock_guard lock(mutex_);
    return startedClients();
}

int NcidTestServer::startedClients() const {
    return static_cast<int>(std::ranges::count_if(
        clients_, [this](const Client& client) { return connections_[client.index].started; }));
}

bool NcidTestServer::waitForClients(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return startedClients() >= count; });
}

QList<NcidTestConnection> NcidTestServer::connections() const {
    const std::lock_guard lock(mutex_);
    return connections_;
}

void NcidTestServer::closeClients() {
    std::unique_lock lock(mutex_);
    // The thread sees the end, as it would a client's own, and closes them.
    std::vector<int> closing;
    for (const Client& client : clients_) {
        ::shutdown(client.socket.get(), SHUT_RDWR);
        closing.push_back(client.index);
    }
    changed_.wait(lock, [&] {
        return std::ranges::none_of(closing, [this](int i) { return connections_[i].open; });
    });
}

void NcidTestServer::setSilent(bool silent) {
    const std::lock_guard lock(mutex_);
    silent_ = silent;
}

void NcidTestServer::serve() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::vector<pollfd> fds = {{wake_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        for (const Client& client : clients_)
            fds.push_back({client.socket.get(), POLLIN, 0});
        const int timeout = pollTimeoutMs();
        lock.unlock();
        ::poll(fds.data(), fds.size(), timeout);
        lock.lock();
        // Only this thread adds or drops clients: fds[2 + i] is still clients_[i].
        for (std::size_t i = 0; i < clients_.size(); ++i)
            if (fds[2 + i].revents != 0) read(clients_[i]);
        const auto now = Clock::now();
        for (Client& client : clients_)
            if (client.socket && now >= client.startupEnd) finishStartup(client);
        std::erase_if(clients_, [](const Client& client) { return !client.socket; });
        if (fds[1].revents != 0) accept();
        changed_.notify_all();
    }
}

int NcidTestServer::pollTimeoutMs() const {
    auto next = Clock::time_point::max();
    for (const Client& client : clients_)
        next = std::min(next, client.startupEnd);
    if (next == Clock::time_point::max()) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

void NcidTestServer::accept() {
    FileHandle socket(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket) return;
    Client client{
        std::move(socket), static_cast<int>(connections_.size()), {}, Clock::time_point::max()};
    connections_.append(NcidTestConnection{});
    if (!silent_) {
        write(client, "200 NCID test server");
        write(client, "210 API: 1.5 Feature Set 1 2 3 4");
        client.startupEnd = Clock::now() + kHelloWait;
    }
    clients_.push_back(std::move(client));
}

void NcidTestServer::read(Client& client) {
    char buffer[4096];
    const ssize_t n = ::recv(client.socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) return close(client);
    client.partial.append(buffer, n);
    qsizetype end;
    while ((end = client.partial.indexOf('\n')) >= 0) {
        QByteArray line = client.partial.left(end);
        client.partial.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        take(client, line);
    }
}

void NcidTestServer::take(Client& client, const QByteArray& line) {
    connections_[client.index].received.append(line);
    // It has no call log to send, asked for or not.
    if (line.startsWith("HELLO: CMD:") && !connections_[client.index].started)
        finishStartup(client);
}

void NcidTestServer::finishStartup(Client& client) {
    write(client, "300 End of connection startup");
    connections_[client.index].started = true;
    client.startupEnd = Clock::time_point::max();
}

// Blocking: a client that reads nothing holds the test up, as it should show.
void NcidTestServer::write(const Client& client, QByteArrayView line) {
    const QByteArray bytes = line.toByteArray() + "\r\n";
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(client.socket.get(), bytes.data() + sent,
                                 static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the read side sees the end
        sent += n;
    }
}

void NcidTestServer::close(Client& client) {
    client.socket.reset();
    connections_[client.index].open = false;
}

} // namespace tarvik::e2e
