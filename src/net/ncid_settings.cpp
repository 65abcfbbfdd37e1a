#include "net/ncid_settings.h"

#include "net/ncid_lines.h"
#include "store/keyvalue.h"
#include "store/settings.h"

#include <optional>

namespace tarvik {
namespace {

constexpr qsizetype kLineIdMax = 32;

// Reads one value; an unusable one is told with the default that stands.
class NcidReader {
public:
    NcidReader(const StoreKey& key, const LogLineSink& complain)
        : key_(key)
        , complain_(complain) {}

    template <typename T, typename Parse, typename Show>
    void read(const char* name, T& value, Parse parse, Show show) const {
        const std::optional<QString> text = key_.readString(kNcidSection, QLatin1String(name));
        if (!text) return;
        if (std::optional<T> parsed = parse(*text)) {
            value = std::move(*parsed);
        } else {
            tellBadSetting(complain_, "NCID", name, *text, show(value));
        }
    }

private:
    const StoreKey& key_;
    const LogLineSink& complain_;
};

std::optional<bool> parseSwitch(const QString& text) {
    const QString t = text.trimmed();
    if (t == QLatin1String("0")) return false;
    if (t == QLatin1String("1")) return true;
    return std::nullopt;
}

QByteArray showSwitch(bool on) {
    return on ? "1" : "0";
}

std::optional<QHostAddress> parseAddress(const QString& text) {
    QHostAddress address;
    if (!address.setAddress(text.trimmed())) return std::nullopt;
    // "::" is every address, IPv4 ones included, as users of dual-stack systems expect.
    if (address == QHostAddress(QHostAddress::AnyIPv6)) return QHostAddress(QHostAddress::Any);
    return address;
}

std::optional<quint16> parsePort(const QString& text) {
    std::int32_t port = 0;
    if (!parseStoredInteger(text, port) || port < 1 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

// A label goes between the '*' of every record, and clients take a value only
// when it ends in one of a few bytes: letters, digits, '-', '_' and '@'.
std::optional<QByteArray> parseLineId(const QString& text) {
    const QByteArray id = text.toLatin1();
    if (id.isEmpty() || id.size() > kLineIdMax || text.size() != id.size()) return std::nullopt;
    for (const char ch : id)
        if (ch == ' ' || !ncid::endsFieldValue(ch)) return std::nullopt;
    return id;
}

} // namespace

NcidSettings readNcidSettings(const StoreKey& key, const LogLineSink& complain) {
    NcidSettings s;
    const NcidReader in(key, complain);
    in.read("Enabled", s.Enabled, parseSwitch, showSwitch);
    in.read("Address", s.Address, parseAddress,
            [](const QHostAddress& a) { return a.toString().toUtf8(); });
    in.read("Port", s.Port, parsePort, [](quint16 p) { return QByteArray::number(p); });
    in.read("LineId", s.LineId, parseLineId, [](const QByteArray& id) { return id; });
    in.read("SendLog", s.SendLog, parseSwitch, showSwitch);
    return s;
}

} // namespace tarvik
