#include "store/ncid_address.h"

#include <arpa/inet.h>

#include <algorithm>

namespace tarvik {
namespace {

std::optional<quint16> parsePort(QStringView text) {
    if (text.isEmpty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

bool isAsciiName(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'.' || c == u'-' || c == u'_';
    });
}

// An IPv6 address, with a link-local address's zone ("fe80::1%eth0") allowed.
bool isIpv6(QStringView text) {
    const qsizetype percent = text.indexOf(u'%');
    if (percent >= 0 && !isAsciiName(text.sliced(percent + 1))) return false;
    const QByteArray address = text.first(percent < 0 ? text.size() : percent).toLatin1();
    in6_addr parsed{};
    return inet_pton(AF_INET6, address.constData(), &parsed) == 1;
}

} // namespace

std::optional<NcidServerAddress> parseNcidServerAddress(QStringView text) {
    text = text.trimmed();
    NcidServerAddress out;
    QStringView portText;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || !isIpv6(text.sliced(1, close - 1))) return std::nullopt;
        out.host = text.sliced(1, close - 1).toString();
        const QStringView rest = text.sliced(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':')) return std::nullopt;
        if (rest.isEmpty()) return out;
        portText = rest.sliced(1);
    } else if (text.count(u':') > 1) {
        if (!isIpv6(text)) return std::nullopt;
        out.host = text.toString();
        return out;
    } else {
        const qsizetype colon = text.indexOf(u':');
        const QStringView host = colon < 0 ? text : text.first(colon);
        if (!isAsciiName(host)) return std::nullopt;
        out.host = host.toString();
        if (colon < 0) return out;
        portText = text.sliced(colon + 1);
    }
    const std::optional<quint16> port = parsePort(portText);
    if (!port) return std::nullopt;
    out.port = *port;
    return out;
}

QString ncidServerText(const NcidServerAddress& server) {
    if (server.port == kNcidDefaultPort) return server.host;
    const QString host = server.host.contains(u':') ? u'[' + server.host + u']' : server.host;
    return host + u':' + QString::number(server.port);
}

} // namespace tarvik
