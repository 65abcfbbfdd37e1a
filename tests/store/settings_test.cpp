#include "store_fixture.h"

#include "store/codepage.h"
#include "store/colors.h"
#include "store/keyvalue.h"
#include "store/ncid_address.h"
#include "store/settings.h"

#include <QDir>
#include <QSettings>

using namespace tarvik;

namespace {

class SettingsTest : public StoreTest {
protected:
    // Writes values into the "Param" section the way a user's hand edit would.
    void store(std::initializer_list<std::pair<const char*, QString>> values) {
        QDir().mkpath(configDir());
        QSettings ini(iniPath(), QSettings::IniFormat);
        for (const auto& [name, value] : values)
            ini.setValue(QString("Param/") + name, value);
    }
    QString stored(const char* name) {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QString("Param/") + name).toString();
    }
    SettingsRecord load() {
        SettingsRecord record;
        EXPECT_TRUE(LoadSaveSettings(kLoadSettings, record, programDir_));
        return record;
    }
};

TEST_F(SettingsTest, NoStoreGivesEveryDefaultAndLeavesAnEmptyKey) {
    const SettingsRecord r = load();
    EXPECT_EQ(r.fnLog, programDir_ + "tarvik.log");
    EXPECT_EQ(r.AnswerOnRing, 1);
    EXPECT_EQ(r.RedialPause, 5);
    EXPECT_EQ(r.DigCol, 7);
    EXPECT_EQ(r.ComNumber, 2);
    EXPECT_EQ(r.Baud, 9600);
    EXPECT_EQ(r.InitStr, "ATM2+S64=1");
    EXPECT_EQ(r.AnswerStr, "AT+SR");
    EXPECT_EQ(r.DialPrefix, "ATDP");
    EXPECT_EQ(r.LastDialNum, "");
    EXPECT_EQ(r.ClrNormalLCD, clLime);
    EXPECT_EQ(r.ClrOffLCD, clBlack);
    EXPECT_EQ(r.ClrBackGround, clBlack);
    EXPECT_EQ(r.ClrPhBtn, clSilver);
    EXPECT_EQ(r.ClrPhFuncBtn, clGray);
    EXPECT_EQ(r.ClrBad, clRed);
    EXPECT_EQ(r.ClrNormal, clLime);
    EXPECT_EQ(r.ClrGood, clBlue);
    EXPECT_EQ(r.ClrPrio, clYellow);
    EXPECT_TRUE(r.PhKeysShow);
    EXPECT_TRUE(r.SBarShow);
    EXPECT_TRUE(r.StayOnTop);
    EXPECT_EQ(r.TrayDblCl, 0);
    EXPECT_EQ(r.SoundFile, "");

    ASSERT_TRUE(QFile::exists(iniPath()));
    EXPECT_EQ(QFile(iniPath()).size(), 0);
}

TEST_F(SettingsTest, FirstSaveWritesAll24ValuesInTheirTextForms) {
    SettingsRecord r = load();
    ASSERT_TRUE(LoadSaveSettings(kSaveSettings, r, programDir_));
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.beginGroup("Param");
    EXPECT_EQ(ini.childKeys().size(), 24);
    EXPECT_EQ(ini.value("Baud").toString(), "9600");
    EXPECT_EQ(ini.value("PhKeysShow").toString(), "1");
    EXPECT_EQ(ini.value("ClrPhFuncBtn").toString(), "clGray");
    EXPECT_EQ(ini.value("fnLog").toString(), programDir_ + "tarvik.log");
    EXPECT_TRUE(ini.contains("SoundFile"));
}

TEST_F(SettingsTest, EveryFieldSurvivesASaveAndALoad) {
    SettingsRecord out;
    out.fnLog = path("logs/календарь log.txt");
    out.AnswerOnRing = 3;
    out.RedialPause = -4;
    out.DigCol = 5;
    out.ComNumber = 4;
    out.Baud = 115200;
    out.InitStr = "AT&F; E0,V1 \"q\" \\ @x =";
    out.AnswerStr = toCp1251(u"AT+SR Ответ");
    out.DialPrefix = "ATDT";
    out.LastDialNum = "w123";
    out.PhKeysShow = false;
    out.SBarShow = true;
    out.ClrOffLCD = 0x00030201;
    out.ClrNormalLCD = clAqua;
    out.ClrBackGround = clNavy;
    out.ClrPhBtn = static_cast<TColor>(0x80000005);
    out.ClrPhFuncBtn = clNone;
    out.ClrBad = 0xA6CAF0;
    out.ClrNormal = clWhite;
    out.ClrGood = clTeal;
    out.ClrPrio = static_cast<TColor>(0xFFFFFFFF);
    out.StayOnTop = false;
    out.TrayDblCl = 1;
    out.SoundFile = "/usr/share/sounds/ring ring.wav";
    ASSERT_TRUE(LoadSaveSettings(kSaveSettings, out, programDir_));

    const SettingsRecord in = load();
    EXPECT_EQ(in.fnLog, out.fnLog);
    EXPECT_EQ(in.AnswerOnRing, out.AnswerOnRing);
    EXPECT_EQ(in.RedialPause, out.RedialPause);
    EXPECT_EQ(in.DigCol, out.DigCol);
    EXPECT_EQ(in.ComNumber, out.ComNumber);
    EXPECT_EQ(in.Baud, out.Baud);
    EXPECT_EQ(in.InitStr, out.InitStr);
    EXPECT_EQ(in.AnswerStr, out.AnswerStr);
    EXPECT_EQ(in.DialPrefix, out.DialPrefix);
    EXPECT_EQ(in.LastDialNum, out.LastDialNum);
    EXPECT_EQ(in.PhKeysShow, out.PhKeysShow);
    EXPECT_EQ(in.SBarShow, out.SBarShow);
    EXPECT_EQ(in.ClrOffLCD, out.ClrOffLCD);
    EXPECT_EQ(in.ClrNormalLCD, out.ClrNormalLCD);
    EXPECT_EQ(in.ClrBackGround, out.ClrBackGround);
    EXPECT_EQ(in.ClrPhBtn, out.ClrPhBtn);
    EXPECT_EQ(in.ClrPhFuncBtn, out.ClrPhFuncBtn);
    EXPECT_EQ(in.ClrBad, out.ClrBad);
    EXPECT_EQ(in.ClrNormal, out.ClrNormal);
    EXPECT_EQ(in.ClrGood, out.ClrGood);
    EXPECT_EQ(in.ClrPrio, out.ClrPrio);
    EXPECT_EQ(in.StayOnTop, out.StayOnTop);
    EXPECT_EQ(in.TrayDblCl, out.TrayDblCl);
    EXPECT_EQ(in.SoundFile, out.SoundFile);

    EXPECT_EQ(stored("ClrOffLCD"), "$00030201");
    EXPECT_EQ(stored("ClrBad"), "clCream");
    EXPECT_EQ(stored("ClrPhBtn"), "clWindow");
    EXPECT_EQ(stored("ClrPrio"), "$FFFFFFFF");
    EXPECT_EQ(stored("AnswerStr"), QString::fromUtf8("AT+SR Ответ"));
}

TEST_F(SettingsTest, IntegerTextsFollowTheReadingRule) {
    store({{"Baud", "0x2580"},
           {"ComNumber", "  -3"},
           {"AnswerOnRing", "$1f"},
           {"RedialPause", "fast"},
           {"TrayDblCl", "7 "},
           {"DigCol", "300"}});
    SettingsRecord r = load();
    EXPECT_EQ(r.Baud, 9600);
    EXPECT_EQ(r.ComNumber, -3);
    EXPECT_EQ(r.AnswerOnRing, 31);
    EXPECT_EQ(r.RedialPause, 5) << "unparsable gives the default";
    EXPECT_EQ(r.TrayDblCl, 0) << "nothing may follow the number";
    EXPECT_EQ(r.DigCol, 44) << "kept in 8 bits";

    store({{"Baud", "fast"},
           {"ComNumber", "2147483648"},
           {"AnswerOnRing", "0x"},
           {"DigCol", "$123456789"}});
    r = load();
    EXPECT_EQ(r.Baud, 9600);
    EXPECT_EQ(r.ComNumber, 2) << "outside 32 bits";
    EXPECT_EQ(r.AnswerOnRing, 1) << "\"0x\" alone is not rewritten";
    EXPECT_EQ(r.DigCol, 7) << "more than eight hex digits";
}

TEST_F(SettingsTest, ParseStoredIntegerEdges) {
    std::int32_t v = 0;
    EXPECT_TRUE(parseStoredInteger("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(parseStoredInteger("+2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(parseStoredInteger("$FFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(parseStoredInteger("\t 12", v));
    EXPECT_EQ(v, 12);
    for (const char* bad : {"", " ", "-", "$", "12a", "1 2", "0x10", "--1", "$-1", "99999999999"})
        EXPECT_FALSE(parseStoredInteger(bad, v)) << bad;
}

TEST_F(SettingsTest, BooleansReadThroughIntegers) {
    store({{"PhKeysShow", "2"}, {"SBarShow", ""}, {"StayOnTop", "0"}});
    SettingsRecord r = load();
    EXPECT_TRUE(r.PhKeysShow);
    EXPECT_TRUE(r.SBarShow) << "empty text gives the default";
    EXPECT_FALSE(r.StayOnTop);
}

TEST_F(SettingsTest, TextsAreCutTo255AndEndAtANul) {
    store({{"InitStr", QString(300, 'A')},
           {"DialPrefix", QString("ATDT") + QChar(0) + "junk"},
           {"fnLog", QString(300, 'L')}});
    const SettingsRecord r = load();
    EXPECT_EQ(r.InitStr, QByteArray(255, 'A'));
    EXPECT_EQ(r.DialPrefix, "ATDT");
    EXPECT_EQ(r.fnLog.size(), 255);
}

TEST_F(SettingsTest, TrayDoubleClickMissingKeepsTheFieldsValue) {
    SettingsRecord r;
    r.TrayDblCl = 1;
    ASSERT_TRUE(LoadSaveSettings(kLoadSettings, r, programDir_));
    EXPECT_EQ(r.TrayDblCl, 1);
}

TEST_F(SettingsTest, ColourNamesInAnyCaseAreSavedBackCanonically) {
    store({{"ClrNormal", "CLLIME"},
           {"ClrGood", "clcream"},
           {"ClrPrio", "$0000FF00"},
           {"ClrBad", "$00ff0000"}});
    SettingsRecord r = load();
    EXPECT_EQ(r.ClrNormal, clLime);
    EXPECT_EQ(r.ClrGood, 0xA6CAF0);
    EXPECT_EQ(r.ClrPrio, clLime);
    EXPECT_EQ(r.ClrBad, clBlue);
    ASSERT_TRUE(LoadSaveSettings(kSaveSettings, r, programDir_));
    EXPECT_EQ(stored("ClrNormal"), "clLime");
    EXPECT_EQ(stored("ClrGood"), "clCream");
    EXPECT_EQ(stored("ClrPrio"), "clLime");
    EXPECT_EQ(stored("ClrBad"), "clBlue");
}

TEST_F(SettingsTest, AnUnknownColourLoadsAsItsDefaultAndTheLoadGoesOn) {
    store({{"ClrBackGround", "chartreuse"},
           {"PhKeysShow", "0"},
           {"SBarShow", "0"},
           {"ClrPrio", "clFuchsia"},
           {"SoundFile", "/tmp/ring.wav"}});
    const SettingsRecord r = load();
    EXPECT_EQ(r.ClrBackGround, clBlack);
    EXPECT_EQ(r.ClrPrio, clFuchsia);
    EXPECT_FALSE(r.PhKeysShow);
    EXPECT_FALSE(r.SBarShow);
    EXPECT_TRUE(r.StayOnTop);
    EXPECT_EQ(r.SoundFile, "/tmp/ring.wav");
}

TEST_F(SettingsTest, OtherModesOpenTheKeyAndChangeNothing) {
    SettingsRecord r;
    r.Baud = 1234;
    EXPECT_TRUE(LoadSaveSettings(5, r, programDir_));
    EXPECT_EQ(r.Baud, 1234);
    EXPECT_TRUE(QFile::exists(iniPath()));
    EXPECT_FALSE(QSettings(iniPath(), QSettings::IniFormat).childGroups().contains("Param"));
}

TEST_F(SettingsTest, ASaveThatCannotBeWrittenThrows) {
    // A folder where the key's file should be: the store cannot write it.
    QDir().mkpath(iniPath());
    SettingsRecord r = load();
    EXPECT_THROW(LoadSaveSettings(kSaveSettings, r, programDir_), TarvikError);
}

TEST_F(SettingsTest, ALineQtCannotParseHandEditedWhileRunningDoesNotFailTheSave) {
    QDir().mkpath(configDir());
    writeAll(iniPath(), "[Param]\nAnswerOnRing=3\n");
    SettingsRecord r = load();
    EXPECT_EQ(r.AnswerOnRing, 3);
    // Edited by hand after the start: the save is the first to read the broken line.
    writeAll(iniPath(), "[Notes\n[Param]\nAnswerOnRing=3\n");
    r.AnswerOnRing = 4;
    EXPECT_NO_THROW(LoadSaveSettings(kSaveSettings, r, programDir_));
    EXPECT_EQ(load().AnswerOnRing, 4);
}

TEST(ColorText, NamesAndNumbers) {
    EXPECT_EQ(ColorToText(0), "clBlack");
    EXPECT_EQ(ColorToText(clBtnShadow), "clBtnShadow");
    EXPECT_EQ(ColorToText(static_cast<TColor>(0x80000018)), "clInfoBk");
    EXPECT_EQ(ColorToText(static_cast<TColor>(0x80000019)), "$80000019");
    EXPECT_EQ(ColorToText(0xC0DCC0), "clMoneyGreen");
    EXPECT_EQ(ColorToText(0xFFFBF0), "clSkyBlue");
    EXPECT_EQ(ColorToText(0x00ABCDEF), "$00ABCDEF");

    EXPECT_EQ(TextToColor("CLSKYBLUE"), 0xFFFBF0);
    EXPECT_EQ(TextToColor("cl3ddkshadow"), static_cast<TColor>(0x80000015));
    EXPECT_EQ(TextToColor("clNone"), clNone);
    EXPECT_EQ(TextToColor("255"), clRed);
    EXPECT_EQ(TextToColor("0x0000FF"), std::nullopt) << "no 0x rewriting for colours";
    EXPECT_EQ(TextToColor("clChartreuse"), std::nullopt);
    EXPECT_EQ(TextToColor(""), std::nullopt);
}

} // namespace

namespace {

using namespace tarvik;

class StoreKeyTest : public StoreTest {};

TEST_F(StoreKeyTest, PlacementAndListSectionsKeepTheirTexts) {
    {
        StoreKey key(mainKeyPath());
        key.writeString(kWinStateSection, "NormPos", "10,20,355,309");
        key.writeString(kSettingsWinStateSection, "Visible", "0");
        key.flush();
        StoreKey list(phoneListKeyPath());
        list.writeString(kColumnsSection, "Order", "0,1,2,3");
        list.writeString(kSortSection, "Ascending", "1");
    }
    EXPECT_TRUE(QFile::exists(configDir() + "/PhoneList.ini"));
    StoreKey key(mainKeyPath());
    EXPECT_EQ(key.readString(kWinStateSection, "NormPos"), "10,20,355,309");
    EXPECT_TRUE(key.valueExists(kSettingsWinStateSection, "Visible"));
    EXPECT_FALSE(key.valueExists(kPhBookStateSection, "Visible"));
    EXPECT_EQ(key.readString(kPhBookStateSection, "Flags"), std::nullopt);
    EXPECT_TRUE(key.sectionExists(kWinStateSection));
    EXPECT_EQ(StoreKey(phoneListKeyPath()).readString(kColumnsSection, "Order"), "0,1,2,3");
}

TEST_F(StoreKeyTest, HandEditedListsReadBackAsOneText) {
    QDir().mkpath(configDir());
    writeAll(configDir() + "/PhoneList.ini", "[Columns]\nSizes=100,50,50,50\n");
    EXPECT_EQ(StoreKey(phoneListKeyPath()).readString(kColumnsSection, "Sizes"), "100,50,50,50");
}

} // namespace

namespace {

TEST_F(SettingsTest, TheCallerIdKindTellsABadValueOnceAndStartsAReportingModemRight) {
    SettingsRecord record;
    QList<QByteArray> told;
    const auto loadTelling = [&] {
        told.clear();
        record = {};
        LoadSaveSettings(kLoadSettings, record, programDir_,
                         [&told](const QByteArray& m) { told.append(m); });
    };
    loadTelling();
    EXPECT_EQ(std::tuple(record.CidMode, record.CidInitStr), std::tuple(0, "AT+VCID=1"));
    EXPECT_TRUE(told.isEmpty());

    store({{"CidMode", "3"}, {"CidInitStr", "VCID=1"}});
    loadTelling();
    EXPECT_EQ(std::tuple(record.CidMode, record.CidInitStr), std::tuple(0, "AT+VCID=1"));
    EXPECT_EQ(told, QList<QByteArray>({R"(Settings: bad CidMode "3", 0 used)",
                                       R"(Settings: bad CidInitStr "VCID=1", AT+VCID=1 used)"}));

    // New to the reporting kind: an InitStr such modems take; one set by hand stays.
    store({{"CidMode", "1"}, {"CidInitStr", "at#cid=1"}});
    loadTelling();
    EXPECT_EQ(std::tuple(record.CidMode, record.CidInitStr, record.InitStr),
              std::tuple(1, "at#cid=1", "ATV1"));
    store({{"InitStr", "ATZ"}});
    loadTelling();
    EXPECT_EQ(record.InitStr, "ATZ");
    EXPECT_TRUE(told.isEmpty());

    // Back to the firmware's kind: the choice is kept in the store.
    record.CidMode = kCidAfterAnswer;
    LoadSaveSettings(kSaveSettings, record, programDir_);
    EXPECT_EQ(stored("CidMode"), "0");
}

} // namespace

namespace {

TEST_F(SettingsTest, LaterSettingsAreCheckedAndStayUnwrittenUntilSet) {
    struct Case {
        const char* name;
        const char* stored; // nullptr: absent
        const char* loaded;
        const char* complaint;
        const char* savedBack; // nullptr: not written
    };
    const Case cases[] = {
        {"Device", nullptr, "", nullptr, nullptr},
        {"Device", "  /dev/serial/by-id/usb-Modem-if00 ", "/dev/serial/by-id/usb-Modem-if00",
         nullptr, "/dev/serial/by-id/usb-Modem-if00"},
        {"Device", "ttyUSB0", "", R"(Settings: bad Device "ttyUSB0", "" used)", ""},
        {"NcidServer", nullptr, "", nullptr, nullptr},
        {"NcidServer", " [::1]:3334 ", "[::1]:3334", nullptr, "[::1]:3334"},
        {"NcidServer", "nas:0", "", R"(Settings: bad NcidServer "nas:0", "" used)", ""},
        {"HangUpBad", nullptr, "0", nullptr, nullptr},
        {"HangUpWithheld", "1", "1", nullptr, "1"},
    };
    const auto loaded = [](const SettingsRecord& r, const QString& name) {
        if (name == "Device") return r.Device;
        if (name == "NcidServer") return r.NcidServer;
        return QString::number(name == "HangUpBad" ? r.HangUpBad : r.HangUpWithheld);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + (c.stored ? c.stored : "absent"));
        QFile::remove(iniPath());
        if (c.stored) store({{c.name, c.stored}});
        SettingsRecord record;
        QList<QByteArray> told;
        LoadSaveSettings(kLoadSettings, record, programDir_,
                         [&told](const QByteArray& m) { told.append(m); });
        EXPECT_EQ(loaded(record, c.name), c.loaded);
        EXPECT_EQ(told, c.complaint ? QList<QByteArray>{c.complaint} : QList<QByteArray>{});
        LoadSaveSettings(kSaveSettings, record, programDir_);
        const QSettings ini(iniPath(), QSettings::IniFormat);
        EXPECT_EQ(ini.value(QString("Param/") + c.name, "<absent>").toString(),
                  c.savedBack ? c.savedBack : "<absent>");
    }
}

} // namespace

namespace {

TEST(NcidServerAddress, ReadsHostsPortsAndIpv6) {
    const std::pair<const char*, NcidServerAddress> good[] = {
        {"nas", {"nas", 3333}},
        {" nas.home:3334 ", {"nas.home", 3334}},
        {"192.168.1.2:65535", {"192.168.1.2", 65535}},
        {"[::1]:3335", {"::1", 3335}},
        {"[fe80::1%eth0]", {"fe80::1%eth0", 3333}},
        {"fe80::2", {"fe80::2", 3333}},
    };
    for (const auto& [text, expected] : good)
        EXPECT_EQ(parseNcidServerAddress(QString::fromLatin1(text)), expected) << text;
    for (const char* bad : {"", "nas:", "nas:0", "nas:65536", "nas:+1", ":3333", "a b", "[::1",
                            "[::1]x", "[nas]:1", "1:2:x", "nas:1:2", "fe80::1%"})
        EXPECT_EQ(parseNcidServerAddress(QString::fromLatin1(bad)), std::nullopt) << bad;
}

} // namespace
