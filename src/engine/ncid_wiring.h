#pragma once
#include "modem/call_events.h"
#include "modem/number_display.h"
#include "net/ncid_service.h"

#include <memory>

namespace tarvik {

struct SettingsRecord;
class StoreKey;

// The call logic's reports, passed on to the NCID server while one runs.
class NcidCallEvents final : public CallEvents {
public:
    void attach(NcidService* server) { server_ = server; }

    void ringCounted(int ring) override;
    void ringIgnored() override;
    void answered() override;
    void callerIdentified(const QByteArray& number, const QByteArray& name) override;
    void callerHungUp(const QByteArray& number, const QByteArray& name) override;
    void dialing(const QByteArray& number) override;

private:
    NcidService* server_ = nullptr;
};

// Where the server finds the call log, as the settings say now.
CallLogSource callLogSource(const SettingsRecord& settings);

// The server as `config` sets it up, not listening yet; none when switched off.
// Bad values are logged and their defaults used.
std::unique_ptr<NcidService> makeNcidServer(const StoreKey& config, const SettingsRecord& settings,
                                            const LogLineSink& log);

} // namespace tarvik
