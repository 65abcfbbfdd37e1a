#pragma once
#include "modem/call_events.h"
#include "modem/number_display.h"
#include "net/ncid_server.h"

#include <memory>

namespace tarvik {

struct SettingsRecord;

// The call logic's reports, passed on to the NCID server while one runs.
class NcidCallEvents final : public CallEvents {
public:
    void attach(NcidServer* server) { server_ = server; }

    void ringCounted(int ring) override;
    void answering() override;
    void callerIdentified(const QByteArray& number) override;
    void dialing(const QByteArray& number) override;

private:
    NcidServer* server_ = nullptr;
};

// Reads the server's settings from the main key and starts it when enabled.
// Bad values and a failed start are logged; the program goes on without it.
std::unique_ptr<NcidServer> startNcidServer(const SettingsRecord& settings, const LogLineSink& log);

} // namespace tarvik
