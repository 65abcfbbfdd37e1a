#include "engine/ncid_wiring.h"

#include "store/keyvalue.h"
#include "store/settings.h"

namespace tarvik {

void NcidCallEvents::ringCounted(int ring) {
    if (server_) server_->ringCounted(ring);
}

void NcidCallEvents::ringIgnored() {
    if (server_) server_->ringIgnored();
}

void NcidCallEvents::answered() {
    if (server_) server_->answered();
}

void NcidCallEvents::callerIdentified(const QByteArray& number, const QByteArray& name) {
    if (server_) server_->callerIdentified(number, name);
}

void NcidCallEvents::callerHungUp(const QByteArray& number, const QByteArray& name) {
    if (server_) server_->callerHungUp(number, name);
}

void NcidCallEvents::dialing(const QByteArray& number) {
    if (server_) server_->dialing(number);
}

CallLogSource callLogSource(const SettingsRecord& settings) {
    return {settings.fnLog, settings.DigCol};
}

std::unique_ptr<NcidService> makeNcidServer(const StoreKey& config, const SettingsRecord& settings,
                                            const LogLineSink& log) {
    NcidSettings ncid = readNcidSettings(config, log);
    if (!ncid.Enabled) return nullptr;

    NcidServer::Setup setup;
    setup.settings = std::move(ncid);
    setup.version = TARVIK_VERSION;
    setup.logSource = callLogSource(settings);
    return std::make_unique<NcidService>(std::move(setup));
}

} // namespace tarvik
