#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tarvik {

// A colour of the toolkit: low byte red, then green, then blue; a top byte of
// 0x80 marks a system colour, 0x1FFFFFFF means none.
using TColor = std::int32_t;

// The 24 settings, read and written in place by the whole program. Modem texts
// are single-byte (Windows-1251) strings; the two file names are kept as file
// system names so that any path can be stored.
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
};

enum SettingsMode : int { kLoadSettings = 0, kSaveSettings = 1 };

// Moves the whole record between memory and the per-user store: mode 0 loads,
// mode 1 saves, any other mode only opens the store. Returns true when it ran to
// its end; a store that cannot be written throws TarvikError. `programDir` (with
// a trailing '/') forms the default log file name.
bool LoadSaveSettings(int mode, SettingsRecord& record, const QString& programDir);

// The integer reading rule of the store: leading blanks, then a signed decimal
// within 32 bits or '$' and one to eight hex digits, nothing after.
bool parseStoredInteger(const QString& text, std::int32_t& value);

} // namespace tarvik
