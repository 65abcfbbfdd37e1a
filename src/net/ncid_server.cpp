#include "net/ncid_server.h"

#include "net/ncid_lines.h"
#include "platform/log_categories.h"

#include <algorithm>

namespace tarvik {

NcidServer::NcidServer(Setup setup)
    : setup_(std::move(setup)) {
    removal_.setSingleShot(true);
    QObject::connect(&removal_, &QTimer::timeout, [this] { removeFinished(); });
    ringingEnd_.setSingleShot(true);
    ringingEnd_.setInterval(setup_.ringingEndMs);
    QObject::connect(&ringingEnd_, &QTimer::timeout, [this] { ringingEnded(); });
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { acceptPending(); });
}

NcidServer::~NcidServer() {
    server_.disconnect();
    clients_.clear();
}

bool NcidServer::listen(QString& error) {
    if (server_.listen(setup_.settings.Address, setup_.settings.Port)) {
        qCDebug(lcNet) << "listening on" << server_.serverAddress() << server_.serverPort();
        return true;
    }
    error = server_.errorString();
    return false;
}

std::size_t NcidServer::clientCount() const {
    return static_cast<std::size_t>(std::count_if(
        clients_.begin(), clients_.end(), [](const auto& client) { return !client->finished(); }));
}

std::size_t NcidServer::clientsFrom(const QHostAddress& address) const {
    return static_cast<std::size_t>(
        std::count_if(clients_.begin(), clients_.end(), [&address](const auto& client) {
            return !client->finished() && client->peer().isEqual(address);
        }));
}

void NcidServer::acceptPending() {
    while (QTcpSocket* pending = server_.nextPendingConnection()) {
        // Owned here alone, so it goes with its client.
        pending->setParent(nullptr);
        std::unique_ptr<QTcpSocket> socket(pending);
        if (clientCount() >= kClientsMax) {
            refuse(std::move(socket), ncid::tooManyClientsLine(kClientsMax));
            continue;
        }
        if (clientsFrom(socket->peerAddress()) >= kClientsPerAddressMax) {
            refuse(std::move(socket), ncid::kTooManyFromAddress + QByteArray(" (") +
                                          QByteArray::number(kClientsPerAddressMax) + ')');
            continue;
        }
        qCDebug(lcNet) << "client" << socket->peerAddress() << "connected";
        NcidClientSetup client{setup_.version,   setup_.settings.LineId, setup_.settings.SendLog,
                               setup_.logSource, QDate::currentDate(),   setup_.keepAlive};
        clients_.push_back(std::make_unique<NcidClient>(
            std::move(socket), std::move(client),
            NcidClientHooks{[this] { removal_.start(0); },
                            [this](const NcidClient& from, const QByteArray& text) {
                                relayMessage(&from, text);
                            }}));
    }
}

// The refused client learns why. The line fits any socket's empty send buffer,
// so the write neither waits nor is cut.
void NcidServer::refuse(std::unique_ptr<QTcpSocket> socket, const QByteArray& why) {
    qCDebug(lcNet) << "refused" << socket->peerAddress() << why;
    socket->write(why + "\r\n");
    socket->flush();
    socket->disconnectFromHost();
}

void NcidServer::broadcast(const QByteArray& line, const NcidClient* except) {
    for (const auto& client : clients_)
        if (client.get() != except) client->send(line);
}

void NcidServer::relayMessage(const NcidClient* from, const QByteArray& text) {
    broadcast(ncid::messageLine(text, setup_.settings.LineId, QDateTime::currentDateTime()), from);
}

void NcidServer::removeFinished() {
    std::erase_if(clients_, [](const auto& client) { return client->finished(); });
}

void NcidServer::ringCounted(int ring, const QDateTime& at) {
    ringing_ = ring;
    ringingEnd_.start();
    broadcast(ncid::ringLine(setup_.settings.LineId, ring, at.time()));
}

void NcidServer::ringIgnored(const QDateTime& at) {
    ringCounted(ringing_ + 1, at);
}

void NcidServer::answered(const QDateTime& at) {
    ringingEnd_.stop();
    ringing_ = 0;
    broadcast(ncid::ringLine(setup_.settings.LineId, ncid::kRingAnswered, at.time()));
}

void NcidServer::ringingEnded() {
    ringing_ = 0;
    broadcast(ncid::ringLine(setup_.settings.LineId, ncid::kRingUnanswered, QTime::currentTime()));
}

void NcidServer::callerIdentified(const QByteArray& number, const QByteArray& name,
                                  const QDateTime& at) {
    CallRecord call = ncid::callNow(CallRecord::Kind::Incoming, number, at);
    call.name = name;
    broadcast(ncid::callLine(ncid::kLiveCaller, call, setup_.settings.LineId));
}

void NcidServer::callerHungUp(const QByteArray& number, const QByteArray& name,
                              const QDateTime& at) {
    CallRecord call = ncid::callNow(CallRecord::Kind::HungUp, number, at);
    call.name = name;
    broadcast(ncid::callLine(ncid::kLiveHungUp, call, setup_.settings.LineId));
}

void NcidServer::dialing(const QByteArray& number, const QDateTime& at) {
    broadcast(ncid::callLine(ncid::kLiveDial, ncid::callNow(CallRecord::Kind::Outgoing, number, at),
                             setup_.settings.LineId));
}

} // namespace tarvik
