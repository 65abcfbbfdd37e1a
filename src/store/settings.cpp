#include "store/settings.h"

#include "store/codepage.h"
#include "store/colors.h"
#include "store/keyvalue.h"
#include "store/ncid_address.h"
#include "store/short_text.h"

#include <limits>

namespace tarvik {
namespace {

const QString kParam = QStringLiteral("Param");

int hexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Loads one record field after another in the store's order. Every reader
// yields the default for an absent or unreadable value.
class SettingsReader {
public:
    explicit SettingsReader(const StoreKey& key)
        : key_(key) {}

    std::optional<QString> raw(const char* name) const {
        auto text = key_.readString(kParam, QLatin1String(name));
        if (text) {
            const auto nul = text->indexOf(QChar(0));
            if (nul >= 0) text->truncate(nul);
        }
        return text;
    }

    QString path(const char* name, const QString& fallback) const {
        return cutShort(raw(name).value_or(fallback));
    }

    QByteArray text(const char* name, const QByteArray& fallback) const {
        const auto stored = raw(name);
        return stored ? cutShort(toCp1251(*stored)) : fallback;
    }

    std::int32_t integer(const char* name, std::int32_t fallback) const {
        auto stored = raw(name);
        if (!stored) return fallback;
        if (stored->size() > 2 &&
            (stored->startsWith(QLatin1String("0x")) || stored->startsWith(QLatin1String("0X"))))
            stored->replace(0, 2, QLatin1String("$"));
        std::int32_t value = 0;
        return parseStoredInteger(*stored, value) ? value : fallback;
    }

    bool boolean(const char* name, bool fallback) const {
        return integer(name, fallback ? 1 : 0) != 0;
    }

    // An unreadable colour falls back to its default instead of stopping the
    // load, so one bad hand edit cannot cripple every start.
    TColor color(const char* name, TColor fallback) const {
        return TextToColor(raw(name).value_or(ColorToText(fallback))).value_or(fallback);
    }

private:
    const StoreKey& key_;
};

void tellBad(const LogLineSink& complain, const char* name, const QString& value,
             const QByteArray& used) {
    tellBadSetting(complain, "Settings", name, value, used);
}

// CidMode is one of the kinds; CidInitStr an AT command.
void loadCallerIdKind(SettingsRecord& r, const SettingsReader& in, const LogLineSink& complain) {
    r.CidMode = kCidAfterAnswer;
    if (const auto stored = in.raw("CidMode")) {
        std::int32_t mode = 0;
        if (parseStoredInteger(*stored, mode) && mode >= kCidAfterAnswer && mode <= kCidFromServer)
            r.CidMode = mode;
        else
            tellBad(complain, "CidMode", *stored, "0");
    }
    r.CidInitStr = kCidInitStrDefault;
    if (const auto stored = in.raw("CidInitStr")) {
        const QByteArray command = in.text("CidInitStr", {}).trimmed();
        if (command.size() > 2 && command.first(2).toUpper() == "AT")
            r.CidInitStr = command;
        else
            tellBad(complain, "CidInitStr", *stored, kCidInitStrDefault);
    }
}

// Device is an absolute path: a relative one would depend on where the
// program was started.
void loadDevice(SettingsRecord& r, const SettingsReader& in, const LogLineSink& complain) {
    r.Device = in.path("Device", {}).trimmed();
    if (r.Device.isEmpty() || r.Device.startsWith(QLatin1Char('/'))) return;
    tellBad(complain, "Device", in.raw("Device").value_or(QString()), "\"\"");
    r.Device.clear();
}

// A server the client could not reach under any reading of the text.
void loadNcidServer(SettingsRecord& r, const SettingsReader& in, const LogLineSink& complain) {
    const auto stored = in.raw("NcidServer");
    r.NcidServer = stored.value_or(QString()).trimmed();
    if (r.NcidServer.isEmpty() || parseNcidServerAddress(r.NcidServer)) return;
    tellBad(complain, "NcidServer", *stored, "\"\"");
    r.NcidServer.clear();
}

void save(const SettingsRecord& r, StoreKey& key) {
    const auto put = [&key](const char* name, const QString& value) {
        key.writeString(kParam, QLatin1String(name), value);
    };
    const auto putText = [&put](const char* name, const QByteArray& value) {
        put(name, fromCp1251(value));
    };
    const auto putInt = [&put](const char* name, std::int32_t value) {
        put(name, QString::number(value));
    };
    const auto putBool = [&put](const char* name, bool value) {
        put(name, value ? QStringLiteral("1") : QStringLiteral("0"));
    };
    const auto putColor = [&put](const char* name, TColor value) { put(name, ColorToText(value)); };

    put("fnLog", r.fnLog);
    putInt("AnswerOnRing", r.AnswerOnRing);
    putInt("DigCol", r.DigCol);
    putInt("ComNumber", r.ComNumber);
    putInt("Baud", r.Baud);
    putText("InitStr", r.InitStr);
    putText("AnswerStr", r.AnswerStr);
    putText("DialPrefix", r.DialPrefix);
    putInt("RedialPause", r.RedialPause);
    putText("LastDialNum", r.LastDialNum);
    putColor("ClrNormalLCD", r.ClrNormalLCD);
    putColor("ClrOffLCD", r.ClrOffLCD);
    putColor("ClrBackGround", r.ClrBackGround);
    putColor("ClrPhBtn", r.ClrPhBtn);
    putColor("ClrPhFuncBtn", r.ClrPhFuncBtn);
    putColor("ClrBad", r.ClrBad);
    putColor("ClrNormal", r.ClrNormal);
    putColor("ClrGood", r.ClrGood);
    putColor("ClrPrio", r.ClrPrio);
    putBool("PhKeysShow", r.PhKeysShow);
    putBool("SBarShow", r.SBarShow);
    putBool("StayOnTop", r.StayOnTop);
    putInt("TrayDblCl", r.TrayDblCl);
    put("SoundFile", r.SoundFile);
    // The caller-ID kind only once it is not the default, so that the store of
    // the firmware's users stays as it was.
    if (r.CidMode != kCidAfterAnswer || r.CidInitStr != kCidInitStrDefault ||
        key.readString(kParam, QStringLiteral("CidMode"))) {
        putInt("CidMode", r.CidMode);
        putText("CidInitStr", r.CidInitStr);
    }
    // Likewise the device and the server, once set.
    if (!r.Device.isEmpty() || key.readString(kParam, QStringLiteral("Device")))
        put("Device", r.Device);
    if (!r.NcidServer.isEmpty() || key.readString(kParam, QStringLiteral("NcidServer")))
        put("NcidServer", r.NcidServer);
    for (const auto& [name, on] :
         {std::pair("HangUpBad", r.HangUpBad), std::pair("HangUpWithheld", r.HangUpWithheld)})
        if (on || key.readString(kParam, QLatin1String(name))) putBool(name, on);
}

} // namespace

void tellBadSetting(const LogLineSink& complain, QByteArrayView section, QByteArrayView name,
                    const QString& value, QByteArrayView used) {
    if (complain)
        complain(section.toByteArray() + ": bad " + name.toByteArray() + " \"" + value.toUtf8() +
                 "\", " + used.toByteArray() + " used");
}

bool parseStoredInteger(const QString& text, std::int32_t& value) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    if (i == n) return false;

    if (text[i] == QLatin1Char('$')) {
        ++i;
        const qsizetype digits = n - i;
        if (digits < 1 || digits > 8) return false;
        std::uint32_t result = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0) return false;
            result = result << 4 | static_cast<std::uint32_t>(d);
        }
        value = static_cast<std::int32_t>(result);
        return true;
    }

    bool negative = false;
    if (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == n) return false;
    std::int64_t result = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
        if (result > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (negative) result = -result;
    if (result < std::numeric_limits<std::int32_t>::min() ||
        result > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

QByteArray defaultInitStr(std::int32_t cidMode) {
    return cidMode == kCidWithRings ? kReportingInitStrDefault : kInitStrDefault;
}

void loadSettings(SettingsRecord& r, const StoreKey& key, const QString& programDir,
                  const LogLineSink& complain) {
    const SettingsReader in(key);
    r.fnLog = in.path("fnLog", programDir + QStringLiteral("tarvik.log"));
    r.AnswerOnRing = in.integer("AnswerOnRing", 1);
    r.RedialPause = in.integer("RedialPause", 5);
    r.DigCol = static_cast<std::uint8_t>(in.integer("DigCol", 7) & 0xFF);
    r.ComNumber = in.integer("ComNumber", 2);
    r.Baud = in.integer("Baud", 9600);

    r.AnswerStr = in.text("AnswerStr", "AT+SR");
    r.DialPrefix = in.text("DialPrefix", "ATDP");
    r.LastDialNum = in.text("LastDialNum", {});
    r.ClrNormalLCD = in.color("ClrNormalLCD", clLime);
    r.ClrOffLCD = in.color("ClrOffLCD", clBlack);
    r.ClrBackGround = in.color("ClrBackGround", clBlack);
    r.ClrPhBtn = in.color("ClrPhBtn", clSilver);
    r.ClrPhFuncBtn = in.color("ClrPhFuncBtn", clGray);
    r.ClrBad = in.color("ClrBad", clRed);
    r.ClrNormal = in.color("ClrNormal", clLime);
    r.ClrGood = in.color("ClrGood", clBlue);
    r.ClrPrio = in.color("ClrPrio", clYellow);
    r.PhKeysShow = in.boolean("PhKeysShow", true);
    r.SBarShow = in.boolean("SBarShow", true);
    r.StayOnTop = in.boolean("StayOnTop", true);
    r.TrayDblCl = in.integer("TrayDblCl", r.TrayDblCl);
    r.SoundFile = in.path("SoundFile", {});
    loadCallerIdKind(r, in, complain);
    // A store from before the kind existed keeps the firmware's InitStr; one
    // new to the reporting kind starts with what such modems take.
    r.InitStr = in.text("InitStr", defaultInitStr(r.CidMode));
    loadDevice(r, in, complain);
    loadNcidServer(r, in, complain);
    r.HangUpBad = in.boolean("HangUpBad", false);
    r.HangUpWithheld = in.boolean("HangUpWithheld", false);
}

bool LoadSaveSettings(int mode, SettingsRecord& record, const QString& programDir,
                      const LogLineSink& complain) {
    StoreKey key(mainKeyPath());
    if (mode == kLoadSettings) {
        loadSettings(record, key, programDir, complain);
    } else if (mode == kSaveSettings) {
        save(record, key);
        key.flush();
    }
    return true;
}

} // namespace tarvik
