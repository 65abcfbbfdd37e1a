#pragma once
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace tarvik {

// The port NCID servers listen on unless told otherwise.
inline constexpr quint16 kNcidDefaultPort = 3333;

// Where an NCID server listens.
struct NcidServerAddress {
    QString host;
    quint16 port = kNcidDefaultPort;
    bool operator==(const NcidServerAddress&) const = default;
};

// "host", "host:port", "[v6address]:port", "[v6address]" or a bare IPv6
// address; nothing when the text is none of them.
std::optional<NcidServerAddress> parseNcidServerAddress(QStringView text);

// The address as the user writes it, the default port left out.
QString ncidServerText(const NcidServerAddress& server);

} // namespace tarvik
