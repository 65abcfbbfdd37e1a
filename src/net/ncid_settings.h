#pragma once
#include "net/ncid_lines.h"
#include "platform/log_sink.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace tarvik {

class StoreKey;

// The network caller-ID server's settings: section "NCID" of the main key.
struct NcidSettings {
    bool Enabled = false;
    // Loopback unless the user opens the server to the network.
    QHostAddress Address{QHostAddress::LocalHost};
    quint16 Port = ncid::kDefaultPort;
    // The line's label in every record; "-" is no label.
    QByteArray LineId = "-";
    bool SendLog = true;
};

inline const QString kNcidSection = QStringLiteral("NCID");

// Reads the section; a value that cannot be used is told once through
// `complain` and its default is kept.
NcidSettings readNcidSettings(const StoreKey& key, const LogLineSink& complain);

} // namespace tarvik
