#include "net/ncid_server.h"

#include "net/ncid_lines.h"

#include <QDateTime>
#include <algorithm>

namespace tarvik {

NcidServer::NcidServer(Setup setup)
    : setup_(std::move(setup)) {
    removal_.setSingleShot(true);
    QObject::connect(&removal_, &QTimer::timeout, [this] { removeFinished(); });
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { acceptPending(); });
}

NcidServer::~NcidServer() {
    server_.disconnect();
    clients_.clear();
}

bool NcidServer::listen(QString& error) {
    if (server_.listen(setup_.settings.Address, setup_.settings.Port)) return true;
    error = server_.errorString();
    return false;
}

std::size_t NcidServer::clientCount() const {
    return static_cast<std::size_t>(std::count_if(
        clients_.begin(), clients_.end(), [](const auto& client) { return !client->finished(); }));
}

void NcidServer::acceptPending() {
    while (QTcpSocket* pending = server_.nextPendingConnection()) {
        // Owned here alone, so it goes with its client.
        pending->setParent(nullptr);
        std::unique_ptr<QTcpSocket> socket(pending);
        if (clientCount() >= kClientsMax) {
            socket->close();
            continue;
        }
        NcidClientSetup client{setup_.version, setup_.settings.LineId, setup_.settings.SendLog,
                               setup_.logSource ? setup_.logSource() : CallLogSource{},
                               QDate::currentDate()};
        clients_.push_back(std::make_unique<NcidClient>(std::move(socket), std::move(client),
                                                        [this] { removal_.start(0); }));
    }
}

void NcidServer::broadcast(const QByteArray& line) {
    for (const auto& client : clients_)
        client->send(line);
}

void NcidServer::removeFinished() {
    std::erase_if(clients_, [](const auto& client) { return client->finished(); });
}

void NcidServer::ringCounted(int ring) {
    broadcast(ncid::ringLine(setup_.settings.LineId, ring, QTime::currentTime()));
}

void NcidServer::answering() {
    ringCounted(0);
}

void NcidServer::callerIdentified(const QByteArray& number) {
    broadcast(ncid::callLineNow(ncid::kLiveCaller, CallRecord::Kind::Incoming, number,
                                setup_.settings.LineId, QDateTime::currentDateTime()));
}

void NcidServer::dialing(const QByteArray& number) {
    broadcast(ncid::callLineNow(ncid::kLiveDial, CallRecord::Kind::Outgoing, number,
                                setup_.settings.LineId, QDateTime::currentDateTime()));
}

} // namespace tarvik
