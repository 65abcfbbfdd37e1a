#pragma once
#include "modem/call_context.h"
#include "modem/caller_id_kind.h"
#include "net/ncid_feed.h"

#include <functional>
#include <memory>
#include <optional>

namespace tarvik {

// Calls from an NCID server on the network, shown and logged as if a modem
// that reports with the rings had reported them. There is no modem: the
// greeting and the idle pass have nothing to do. The desktop's own NCID
// server is not told of these calls, so two programs cannot feed each other.
class NetworkKind final : public CallerIdKind {
public:
    // Makes the feed that calls the hooks; tests make none and call
    // onRecord and onStatus themselves.
    using FeedFactory =
        std::function<std::unique_ptr<NcidFeed>(const NcidServerAddress&, NcidFeed::Hooks)>;

    // A server with no host is none set: the kind says so and connects nowhere.
    NetworkKind(CallContext context, RingSound& sound, NcidServerAddress server,
                FeedFactory makeFeed);
    ~NetworkKind() override;
    NetworkKind(const NetworkKind&) = delete;
    NetworkKind& operator=(const NetworkKind&) = delete;

    void greet(bool) override {}
    void idle() override {}
    // Connects to the server, once.
    void watch() override;
    void stop() override;

    // The user's Connect and Disconnect: the feed on or off.
    bool switchedOn() const { return on_; }
    void switchOn(bool on);

    void onRecord(const NcidFeedLine& record);
    void onStatus(const NcidFeedStatus& status);

    // The connection came or went (the tray picture); told on each change.
    std::function<void(bool connected)> onConnection;

private:
    void ring(int ring);
    void caller(const NcidRecordFields& fields);
    void tell(const QByteArray& text);
    void connection(bool connected);

    CallContext c_;
    RingSound& sound_;
    NcidServerAddress server_;
    QByteArray serverText_;
    FeedFactory makeFeed_;
    std::shared_ptr<NcidFeed> feed_;
    // Cleared on stop: a feed whose end waits for its hook to return calls nothing more.
    std::shared_ptr<bool> live_;
    int dispatching_ = 0;
    bool watched_ = false;
    bool on_ = false;
    // The caller of the present call is on show: later rings leave the status be.
    bool callerShown_ = false;
    std::optional<bool> connected_;
    bool lossLogged_ = false;
};

// The real feed, on the calling thread's event loop; `version` is the program's.
NetworkKind::FeedFactory ncidFeeds(QByteArray version);

} // namespace tarvik
