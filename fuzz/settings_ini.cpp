// The settings store read from an INI file of any content: the load always ends,
// texts are cut to the short length, and what was loaded comes back the same
// after a save and a second load.
#include "fuzz_support.h"

#include "store/settings.h"
#include "store/short_text.h"

#include <QDateTime>
#include <QFile>

namespace {

using namespace tarvik;

bool operator==(const SettingsRecord& a, const SettingsRecord& b) {
    return a.fnLog == b.fnLog && a.AnswerOnRing == b.AnswerOnRing &&
           a.RedialPause == b.RedialPause && a.DigCol == b.DigCol && a.ComNumber == b.ComNumber &&
           a.Baud == b.Baud && a.InitStr == b.InitStr && a.AnswerStr == b.AnswerStr &&
           a.DialPrefix == b.DialPrefix && a.LastDialNum == b.LastDialNum &&
           a.PhKeysShow == b.PhKeysShow && a.SBarShow == b.SBarShow && a.ClrOffLCD == b.ClrOffLCD &&
           a.ClrNormalLCD == b.ClrNormalLCD && a.ClrBackGround == b.ClrBackGround &&
           a.ClrPhBtn == b.ClrPhBtn && a.ClrPhFuncBtn == b.ClrPhFuncBtn && a.ClrBad == b.ClrBad &&
           a.ClrNormal == b.ClrNormal && a.ClrGood == b.ClrGood && a.ClrPrio == b.ClrPrio &&
           a.StayOnTop == b.StayOnTop && a.TrayDblCl == b.TrayDblCl && a.SoundFile == b.SoundFile &&
           a.Device == b.Device;
}

QByteArray describe(const SettingsRecord& r) {
    return (r.fnLog + QLatin1Char('|') + r.SoundFile).toUtf8() + '|' + r.InitStr + '|' +
           r.AnswerStr + '|' + r.DialPrefix + '|' + r.LastDialNum + '|' +
           QByteArray::number(r.AnswerOnRing) + ',' + QByteArray::number(r.Baud) + ',' +
           QByteArray::number(r.ComNumber) + ',' + QByteArray::number(r.ClrNormal);
}

} // namespace

// Qt decodes a value written as @Variant(...) as serialised data and trusts the
// lengths in it, so a damaged one asks for gigabytes. On a real system that request
// fails and Qt gives the value up (it loads as its default); here it does the same
// instead of ending the run as out of memory.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchDir scratch;
    static const QString config = scratch.fresh();
    static long inputs = 0;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    QDir().mkpath(config + "Tarvik");
    QFile ini(config + "Tarvik/Tarvik.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    ini.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    ini.flush();
    // The INI layer keeps a file it has read while its size and time stay the same.
    ini.setFileTime(QDateTime::fromSecsSinceEpoch(++inputs), QFileDevice::FileModificationTime);
    ini.close();

    const QString programDir = QStringLiteral("/opt/tarvik/");
    SettingsRecord first;
    LoadSaveSettings(kLoadSettings, first, programDir);
    for (const QByteArray* text :
         {&first.InitStr, &first.AnswerStr, &first.DialPrefix, &first.LastDialNum})
        FUZZ_CHECK(text->size() <= kShortTextMax, *text);
    FUZZ_CHECK(first.fnLog.size() <= kShortTextMax && first.SoundFile.size() <= kShortTextMax &&
               first.Device.size() <= kShortTextMax);
    FUZZ_CHECK(first.Device.isEmpty() || first.Device.startsWith(QLatin1Char('/')));

    LoadSaveSettings(kSaveSettings, first, programDir);
    SettingsRecord second;
    LoadSaveSettings(kLoadSettings, second, programDir);
    FUZZ_CHECK(second == first, describe(first) + " / " + describe(second));
    return 0;
}
