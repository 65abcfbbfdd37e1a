#include "net/ncid_client.h"

#include "net/ncid_lines.h"
#include "platform/log_categories.h"

#include <QScopeGuard>

namespace tarvik {
namespace {

constexpr qint64 kLogLowWater = 16 * 1024;
constexpr qint64 kLogReadBudget = 16 * 1024;
constexpr int kGoodbyeCloseMs = 2000;
constexpr qint64 kReadBufferSize = 4 * 1024;
// What the kernel may hold for a client beyond our own queue.
constexpr int kSendBufferSize = 64 * 1024;

QByteArray withEnd(const QByteArray& line) {
    return line + "\r\n";
}

} // namespace

NcidClient::NcidClient(std::unique_ptr<QTcpSocket> socket, NcidClientSetup setup,
                       NcidClientHooks hooks)
    : socket_(std::move(socket))
    , peer_(socket_->peerAddress())
    , setup_(std::move(setup))
    , hooks_(std::move(hooks))
    , feed_(setup_.log, setup_.lineId, setup_.today) {
    setKeepAlive(*socket_, setup_.keepAlive);
    socket_->setReadBufferSize(kReadBufferSize);
    socket_->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferSize);
    QTcpSocket* s = socket_.get();
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] { readLines(); });
    QObject::connect(s, &QTcpSocket::bytesWritten, s, [this] {
        stallTimer_.stop();
        watchStall();
        if (stage_ == Stage::Log) pumpLog();
    });
    QObject::connect(s, &QTcpSocket::disconnected, s, [this] { finish(); });
    QObject::connect(s, &QTcpSocket::errorOccurred, s, [this] { drop(); });

    helloTimer_.setSingleShot(true);
    QObject::connect(&helloTimer_, &QTimer::timeout, [this] { startLog(); });
    pumpTimer_.setSingleShot(true);
    QObject::connect(&pumpTimer_, &QTimer::timeout, [this] { pumpLog(); });
    goodbyeTimer_.setSingleShot(true);
    QObject::connect(&goodbyeTimer_, &QTimer::timeout, [this] { drop(); });
    stallTimer_.setSingleShot(true);
    QObject::connect(&stallTimer_, &QTimer::timeout, [this] { drop(); });

    write(withEnd(ncid::serverLine(setup_.version)) + withEnd(ncid::kApiLine));
    clock_.start();
    helloTimer_.start(kHelloMs);
}

NcidClient::~NcidClient() {
    socket_->disconnect();
    socket_->abort();
}

void NcidClient::send(const QByteArray& line) {
    if (finished_ || closing_) return;
    if (stage_ != Stage::Live) {
        held_.push_back(line);
        if (held_.size() > kHeldMax) drop();
        return;
    }
    write(withEnd(line));
}

void NcidClient::startLog() {
    if (finished_) return;
    if (noLog_ || !setup_.sendLog) return endStartup(ncid::kLogNotSent);
    if (feed_.open() == CallLogFeed::Opened::NoLog) return endStartup(ncid::kNoLog);
    stage_ = Stage::Log;
    pumpLog();
}

void NcidClient::pumpLog() {
    // A write may report its bytes at once; the loop below goes on by itself.
    if (pumping_) return;
    pumping_ = true;
    const auto done = qScopeGuard([this] { pumping_ = false; });
    while (!finished_ && !closing_ && stage_ == Stage::Log &&
           socket_->bytesToWrite() < kLogLowWater) {
        QByteArray lines;
        const bool more = feed_.fill(lines, kLogReadBudget);
        if (!lines.isEmpty()) write(lines);
        if (!more) return endStartup(feed_.sent() > 0 ? ncid::kLogEnd : ncid::kLogEmpty);
        // A stretch without calls: let the program run before reading on.
        if (lines.isEmpty()) return pumpTimer_.start(0);
    }
}

void NcidClient::endStartup(const char* logResult) {
    if (finished_) return;
    stage_ = Stage::Live;
    QByteArray lines = withEnd(logResult) + withEnd(ncid::kStartupEnd);
    for (const QByteArray& line : held_)
        lines += withEnd(line);
    held_.clear();
    write(lines);
}

void NcidClient::readLines() {
    while (!finished_ && socket_->bytesAvailable() > 0) {
        const QByteArray bytes = socket_->read(kReadBufferSize);
        if (!reader_.feed(bytes, clock_.elapsed(),
                          [this](const NcidRequest& request) { handle(request); }))
            return drop();
    }
}

void NcidClient::handle(const NcidRequest& request) {
    if (finished_ || closing_) return;
    using Kind = NcidRequest::Kind;
    switch (request.kind) {
    case Kind::Goodbye:
        return closeAfterGoodbye();
    case Kind::NoLog:
        if (stage_ == Stage::Hello) noLog_ = true;
        return;
    case Kind::Yo:
        return send(ncid::kYoAnswer);
    case Kind::Message:
        if (hooks_.message) hooks_.message(*this, request.text);
        return;
    case Kind::KeepAlive:
    case Kind::Other:
        // An IDENT, a request for a job: nothing to answer.
        return;
    }
}

void NcidClient::write(const QByteArray& bytes) {
    if (finished_) return;
    if (socket_->bytesToWrite() + bytes.size() > kQueueMax) return drop();
    socket_->write(bytes);
    socket_->flush();
    watchStall();
}

// Output the system would not take is the client's to read; a client that
// leaves it there is gone or stuck.
void NcidClient::watchStall() {
    if (socket_->bytesToWrite() > 0 && !stallTimer_.isActive()) stallTimer_.start(kStallMs);
}

void NcidClient::drop() {
    if (finished_) return;
    socket_->abort();
    finish();
}

void NcidClient::closeAfterGoodbye() {
    helloTimer_.stop();
    pumpTimer_.stop();
    closing_ = true;
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState) goodbyeTimer_.start(kGoodbyeCloseMs);
}

void NcidClient::finish() {
    if (finished_) return;
    finished_ = true;
    qCDebug(lcNet) << "client" << peer_ << "gone";
    helloTimer_.stop();
    pumpTimer_.stop();
    goodbyeTimer_.stop();
    stallTimer_.stop();
    held_.clear();
    if (hooks_.finished) hooks_.finished();
}

} // namespace tarvik
