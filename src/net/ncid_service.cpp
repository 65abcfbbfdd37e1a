#include "net/ncid_service.h"

#include <QDateTime>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarvik {
namespace {

// Nice value of the server's thread: under a full processor the call logic wins.
constexpr int kServerNice = 10;

void lowerThisThreadsPriority() {
    // Linux keeps a nice value per thread.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kServerNice);
}

} // namespace

NcidService::NcidService(NcidServer::Setup setup)
    : setup_(std::move(setup)) {
    thread_.setObjectName(QStringLiteral("tarvik-ncid"));
    context_.moveToThread(&thread_);
    thread_.start();
}

NcidService::~NcidService() {
    QThread* const owner = QThread::currentThread();
    QMetaObject::invokeMethod(
        &context_,
        [this, owner] {
            server_.reset();
            // Back to this object's owner, which destroys it after the thread ends.
            context_.moveToThread(owner);
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool NcidService::listen(QString& error) {
    bool listening = false;
    QMetaObject::invokeMethod(
        &context_,
        [this, &error, &listening] {
            lowerThisThreadsPriority();
            server_ = std::make_unique<NcidServer>(setup_);
            listening = server_->listen(error);
            port_ = listening ? server_->port() : 0;
            if (!listening) server_.reset();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

template <typename Work> void NcidService::post(Work work) {
    QMetaObject::invokeMethod(
        &context_,
        [this, work = std::move(work)] {
            if (server_) work(*server_);
        },
        Qt::QueuedConnection);
}

void NcidService::ringCounted(int ring) {
    post([ring, at = QDateTime::currentDateTime()](NcidServer& s) { s.ringCounted(ring, at); });
}

void NcidService::ringIgnored() {
    post([at = QDateTime::currentDateTime()](NcidServer& s) { s.ringIgnored(at); });
}

void NcidService::answered() {
    post([at = QDateTime::currentDateTime()](NcidServer& s) { s.answered(at); });
}

void NcidService::callerIdentified(const QByteArray& number, const QByteArray& name) {
    post([number, name, at = QDateTime::currentDateTime()](NcidServer& s) {
        s.callerIdentified(number, name, at);
    });
}

void NcidService::callerHungUp(const QByteArray& number, const QByteArray& name) {
    post([number, name, at = QDateTime::currentDateTime()](NcidServer& s) {
        s.callerHungUp(number, name, at);
    });
}

void NcidService::dialing(const QByteArray& number) {
    post([number, at = QDateTime::currentDateTime()](NcidServer& s) { s.dialing(number, at); });
}

void NcidService::setLogSource(CallLogSource source) {
    post([source = std::move(source)](NcidServer& s) { s.setLogSource(source); });
}

} // namespace tarvik
