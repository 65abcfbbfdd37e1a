#pragma once
#include "modem/number_display.h"
#include "net/ncid_service.h"

#include <memory>

namespace tarvik {

struct SettingsRecord;
class StoreKey;

// Where the server finds the call log, as the settings say now.
CallLogSource callLogSource(const SettingsRecord& settings);

// The server as `config` sets it up, not listening yet; none when switched off.
// Bad values are logged and their defaults used.
std::unique_ptr<NcidService> makeNcidServer(const StoreKey& config, const SettingsRecord& settings,
                                            const LogLineSink& log);

} // namespace tarvik
