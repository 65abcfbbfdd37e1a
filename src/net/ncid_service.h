#pragma once
#include "net/ncid_server.h"
#include "store/call_events.h"

#include <QObject>
#include <QThread>
#include <memory>

namespace tarvik {

// The NCID server on a thread of its own. The call logic's waits run the UI
// thread's pending events, so a client's work done there would take the time of
// a ring count or an answer; here every report only posts the work and returns,
// and the thread runs at a lower priority than the calls.
class NcidService final : public CallEvents {
public:
    explicit NcidService(NcidServer::Setup setup);
    ~NcidService() override;
    NcidService(const NcidService&) = delete;
    NcidService& operator=(const NcidService&) = delete;

    // Makes the server and starts listening; false with the reason when the
    // address cannot be had. Waits for the server's thread, so call it at start.
    bool listen(QString& error);
    // The port listened on, once listening.
    quint16 port() const { return port_; }

    // Reports of the line, stamped now; each is queued to the server's thread.
    void ringCounted(int ring) override;
    void ringIgnored() override;
    void answered() override;
    void callerIdentified(const QByteArray& number, const QByteArray& name) override;
    void callerHungUp(const QByteArray& number, const QByteArray& name) override;
    void dialing(const QByteArray& number) override;
    void setLogSource(CallLogSource source);

private:
    template <typename Work> void post(Work work);

    NcidServer::Setup setup_;
    QThread thread_;
    // Lives on thread_; the work posted to it runs there.
    QObject context_;
    // Made, used and destroyed on thread_ only.
    std::unique_ptr<NcidServer> server_;
    quint16 port_ = 0;
};

} // namespace tarvik
