#pragma once
#include "modem/main_view.h"
#include "modem/modem_port.h"
#include "modem/modem_recovery.h"
#include "serial/CommPort.h"
#include "store/settings.h"

#include <string_view>

namespace tarvik {

// The main window's serial port as the modem dialogue and the tray's port item see it.
class PortAdapter final : public ModemPort, public PortSwitch {
public:
    explicit PortAdapter(TCommPort& port)
        : port_(port) {}

    bool isOpen() const override { return port_.Open(); }
    void setOpen(bool open) override { port_.SetOpen(open); }

    int InCount() const override { return port_.InCount(); }
    int OutFree() const override { return port_.OutFree(); }
    std::uint8_t ReadByte() override { return port_.ReadByte(); }
    void WriteString(const QByteArray& text) override {
        port_.WriteString(
            std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    }
    int WriteByte(std::uint8_t value) override { return port_.WriteByte(value); }
    void PurgeIn() override { port_.PurgeIn(); }

private:
    TCommPort& port_;
};

// The settings' device path, as the file system names it; empty for none.
std::string configuredDevice(const SettingsRecord& settings);

// Gives the port the settings' number (or device path) and speed.
void applyPortSettings(TCommPort& port, const SettingsRecord& settings);

// The port as the recovery of a lost modem sees it: opened again with the
// settings' number and speed.
class RecoveryPortAdapter final : public RecoverablePort {
public:
    RecoveryPortAdapter(TCommPort& port, const SettingsRecord& settings)
        : port_(port)
        , settings_(settings) {}

    bool isOpen() const override { return port_.Open(); }
    bool deviceLost() const override { return port_.DeviceLost(); }
    bool devicePresent() const override;
    bool reopen() override;
    void close() override { port_.SetOpen(false); }

private:
    TCommPort& port_;
    const SettingsRecord& settings_;
};

} // namespace tarvik
