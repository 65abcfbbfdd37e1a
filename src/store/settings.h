#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/log_sink.h"

namespace tarvik {

// A colour of the toolkit: low byte red, then green, then blue; a top byte of
// 0x80 marks a system colour, 0x1FFFFFFF means none.
using TColor = std::int32_t;

// Where the caller comes from: the caller-ID firmware reports it after the
// program answers (AnswerStr), or the modem reports it by itself with the rings
// once caller ID is switched on (CidInitStr), as most caller-ID modems do; or
// an NCID server on the network tells it (NcidServer), and there is no modem.
enum CidModeValue : std::int32_t { kCidAfterAnswer = 0, kCidWithRings = 1, kCidFromServer = 2 };

inline constexpr char kInitStrDefault[] = "ATM2+S64=1";
// For modems that report with the rings: verbose results, nothing they refuse.
inline constexpr char kReportingInitStrDefault[] = "ATV1";
inline constexpr char kCidInitStrDefault[] = "AT+VCID=1";
// What Rockwell-based modems take instead of the default.
inline constexpr char kCidInitStrRockwell[] = "AT#CID=1";

// The 24 settings, the caller-ID kind and the port's device, read and written
// in place by the whole program. Modem texts are single-byte (Windows-1251)
// strings; the two file names and the device are kept as file system names so
// that any path can be stored.
struct SettingsRecord {
    QString fnLog;
    std::int32_t AnswerOnRing = 0;
    std::int32_t RedialPause = 0;
    std::uint8_t DigCol = 0;
    std::int32_t ComNumber = 0;
    std::int32_t Baud = 0;
    QByteArray InitStr;
    QByteArray AnswerStr;
    QByteArray DialPrefix;
    QByteArray LastDialNum;
    bool PhKeysShow = false;
    bool SBarShow = false;
    TColor ClrOffLCD = 0;
    TColor ClrNormalLCD = 0;
    TColor ClrBackGround = 0;
    TColor ClrPhBtn = 0;
    TColor ClrPhFuncBtn = 0;
    TColor ClrBad = 0;
    TColor ClrNormal = 0;
    TColor ClrGood = 0;
    TColor ClrPrio = 0;
    bool StayOnTop = false;
    std::int32_t TrayDblCl = 0;
    QString SoundFile;
    std::int32_t CidMode = kCidAfterAnswer;
    QByteArray CidInitStr;
    // An absolute path naming the port instead of ComNumber; empty for none.
    QString Device;
    // The NCID server the calls come from with kCidFromServer ("host",
    // "host:port", "[v6address]:port"); empty for none.
    QString NcidServer;
    // Callers hung up at once: those whose phone book entry is BAD, and those
    // whose number is withheld or unavailable.
    bool HangUpBad = false;
    bool HangUpWithheld = false;
};

// The InitStr a caller-ID kind starts with.
QByteArray defaultInitStr(std::int32_t cidMode);

enum SettingsMode : int { kLoadSettings = 0, kSaveSettings = 1 };

// Moves the whole record between memory and the per-user store: mode 0 loads,
// mode 1 saves, any other mode only opens the store. Returns true when it ran to
// its end; a store that cannot be written throws TarvikError. `programDir` (with
// a trailing '/') forms the default log file name. A loaded value of the
// caller-ID kind, a Device or an NcidServer that cannot be used is told
// through `complain`, once, and its default is kept.
bool LoadSaveSettings(int mode, SettingsRecord& record, const QString& programDir,
                      const LogLineSink& complain = {});

class StoreKey;

// Tells a stored value of `section` that cannot be used, and what is used
// instead: "<section>: bad <name> "<value>", <used> used".
void tellBadSetting(const LogLineSink& complain, QByteArrayView section, QByteArrayView name,
                    const QString& value, QByteArrayView used);

// Loads the whole record from `key` (the per-user store, or the service's
// configuration), which is only read; as LoadSaveSettings does for mode 0.
void loadSettings(SettingsRecord& record, const StoreKey& key, const QString& programDir,
                  const LogLineSink& complain = {});

// The integer reading rule of the store: leading blanks, then a signed decimal
// within 32 bits or '$' and one to eight hex digits, nothing after.
bool parseStoredInteger(const QString& text, std::int32_t& value);

} // namespace tarvik
