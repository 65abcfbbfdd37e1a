#include "shell/ncid_wiring.h"

#include "store/keyvalue.h"
#include "store/settings.h"

namespace tarvik {

void NcidCallEvents::ringCounted(int ring) {
    if (server_) server_->ringCounted(ring);
}

void NcidCallEvents::answering() {
    if (server_) server_->answering();
}

void NcidCallEvents::callerIdentified(const QByteArray& number) {
    if (server_) server_->callerIdentified(number);
}

void NcidCallEvents::dialing(const QByteArray& number) {
    if (server_) server_->dialing(number);
}

std::unique_ptr<NcidServer> startNcidServer(const SettingsRecord& settings,
                                            const LogLineSink& log) {
    NcidSettings ncid = readNcidSettings(StoreKey(mainKeyPath()), log);
    if (!ncid.Enabled) return nullptr;

    auto server = std::make_unique<NcidServer>(
        NcidServer::Setup{std::move(ncid), TARVIK_VERSION, [&settings] {
                              return CallLogSource{settings.fnLog, settings.DigCol};
                          }});
    QString error;
    if (server->listen(error)) return server;
    log("NCID server not started: " + error.toUtf8());
    return nullptr;
}

} // namespace tarvik
