#include "engine/ncid_wiring.h"

#include "store/keyvalue.h"
#include "store/settings.h"

namespace tarvik {

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
