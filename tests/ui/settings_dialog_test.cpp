#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "store/codepage.h"
#include "store/colors.h"
#include "store/keyvalue.h"
#include "ui/set_frm.h"
#include "ui/tarvik_frm.h"
#include "ui/widgets/color_combo.h"
#include "ui/widgets/colors_qt.h"
#include "ui/widgets/digit_led.h"
#include "ui/widgets/filename_edit.h"
#include "ui/widgets/form_placement.h"
#include "ui/widgets/panel.h"
#include "ui/widgets/spin_edit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace tarvik {
namespace {

class RecordingTarget final : public SettingsTarget {
public:
    void ApplyLedColors(TColor on, TColor off) override {
        calls << QStringLiteral("leds %1 %2").arg(ColorToText(on), ColorToText(off));
    }
    void ApplyBackgroundColor(TColor color) override {
        calls << QStringLiteral("background %1").arg(ColorToText(color));
    }
    void ApplyButtonColors(TColor digit, TColor function) override {
        calls << QStringLiteral("buttons %1 %2").arg(ColorToText(digit), ColorToText(function));
    }
    void ApplyTrayDblClick(int action) override { calls << QStringLiteral("tray %1").arg(action); }
    QStringList calls;
};

// Every field, so records compare as a whole.
QStringList fields(const SettingsRecord& r) {
    return {r.fnLog,
            QString::number(r.AnswerOnRing),
            QString::number(r.RedialPause),
            QString::number(r.DigCol),
            QString::number(r.ComNumber),
            QString::number(r.Baud),
            QString::fromLatin1(r.InitStr.toHex()),
            QString::fromLatin1(r.AnswerStr.toHex()),
            QString::fromLatin1(r.DialPrefix.toHex()),
            QString::fromLatin1(r.LastDialNum.toHex()),
            QString::number(r.PhKeysShow),
            QString::number(r.SBarShow),
            ColorToText(r.ClrOffLCD),
            ColorToText(r.ClrNormalLCD),
            ColorToText(r.ClrBackGround),
            ColorToText(r.ClrPhBtn),
            ColorToText(r.ClrPhFuncBtn),
            ColorToText(r.ClrBad),
            ColorToText(r.ClrNormal),
            ColorToText(r.ClrGood),
            ColorToText(r.ClrPrio),
            QString::number(r.StayOnTop),
            QString::number(r.TrayDblCl),
            r.SoundFile,
            r.Device};
}

class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest() {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        previous = setMessagePresenter(boxes);
        LoadSaveSettings(kLoadSettings, settings, programDir);
    }
    ~SettingsDialogTest() override { setMessagePresenter(previous); }

    // Opens the dialog as the main window's menu item does and lets `act`
    // work in it once it shows; false when it never showed.
    template <class Act> bool run(Act act, SettingsTarget* to = nullptr) {
        bool shown = false;
        QTimer driver;
        driver.setSingleShot(true);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* form = owner.findChild<TSetupForm*>();
            if (!form || !form->isVisible()) return;
            shown = true;
            act(*form);
        });
        driver.start(0);
        runSettingsDialog(&owner, settings, programDir, to ? *to : target);
        return shown;
    }

    static QStringList storedParam() {
        const StoreKey key(mainKeyPath());
        QStringList values;
        for (const char* name :
             {"fnLog",        "AnswerOnRing", "RedialPause",   "DigCol",     "ComNumber",
              "Baud",         "InitStr",      "AnswerStr",     "DialPrefix", "LastDialNum",
              "ClrNormalLCD", "ClrOffLCD",    "ClrBackGround", "ClrPhBtn",   "ClrPhFuncBtn",
              "ClrBad",       "ClrNormal",    "ClrGood",       "ClrPrio",    "PhKeysShow",
              "SBarShow",     "StayOnTop",    "TrayDblCl",     "SoundFile",  "Device"})
            values << key.readString(QStringLiteral("Param"), QLatin1String(name))
                          .value_or(QStringLiteral("<absent>"));
        return values;
    }
    SettingsRecord reloaded() const {
        SettingsRecord fresh;
        LoadSaveSettings(kLoadSettings, fresh, programDir);
        return fresh;
    }

    QTemporaryDir config;
    const QString programDir = config.path() + QStringLiteral("/program/");
    std::shared_ptr<RecordingPresenter> boxes = std::make_shared<RecordingPresenter>();
    std::shared_ptr<MessagePresenter> previous;
    SettingsRecord settings;
    RecordingTarget target;
    QWidget owner;
};

TEST_F(SettingsDialogTest, OkStoresEveryEditInTheRecordAndTheStoreAndReappliesTheLook) {
    settings.InitStr = QByteArray(60, 'I'); // longer than the box's limit, kept whole
    settings.DialPrefix = "AT\xC4P";        // a Windows-1251 letter
    settings.SoundFile = programDir + QStringLiteral("my ring.wav");
    settings.LastDialNum = "5551234";
    settings.PhKeysShow = false;
    settings.Device = QStringLiteral("/dev/ttyACM0");
    LoadSaveSettings(kSaveSettings, settings, programDir);

    QString shownDevice;
    const bool shown = run([&shownDevice](TSetupForm& form) {
        shownDevice = form.eDevice->text();
        EXPECT_TRUE(form.ModemSheet->isAncestorOf(form.eDevice)) << "beside the COM port";
        form.eDevice->setText(QStringLiteral(" /dev/serial/by-id/usb-Modem-if00  "));
        form.fnLogEdit->setText(QStringLiteral("/var/log/calls.log"));
        form.seAnswerOnRing->setValue(3);
        form.seDigCol->setValue(6);
        form.seCOMNumber->setValue(4);
        form.seCOMBaud->setValue(19200);
        form.clrNormalPhone->setColorValue(clYellow);
        form.clrOffLCD->setColorValue(clNavy);
        form.eAnswerStr->setText(QStringLiteral("AT+SR1"));
        form.rgTrayDblCl->setItemIndex(1);
        form.clrBackGround->setColorValue(clTeal);
        form.ClrPhBtn->setColorValue(clWhite);
        form.clrPhFuncBtn->setColorValue(clMaroon);
        form.ClrBadPh->setColorValue(clPurple);
        form.ClrNormalPh->setColorValue(clOlive);
        form.ClrGoodPh->setColorValue(clAqua);
        form.ClrPrioPh->setColorValue(clFuchsia);
        form.seRedialPause->setValue(2);
        form.btnSetOK->click();
    });
    ASSERT_TRUE(shown);

    SettingsRecord expected;
    LoadSaveSettings(kLoadSettings, expected, programDir); // what was saved before
    expected.fnLog = QStringLiteral("/var/log/calls.log");
    expected.AnswerOnRing = 3;
    expected.DigCol = 6;
    expected.ComNumber = 4;
    expected.Baud = 19200;
    expected.ClrNormalLCD = clYellow;
    expected.ClrOffLCD = clNavy;
    expected.AnswerStr = "AT+SR1";
    expected.TrayDblCl = 1;
    expected.ClrBackGround = clTeal;
    expected.ClrPhBtn = clWhite;
    expected.ClrPhFuncBtn = clMaroon;
    expected.ClrBad = clPurple;
    expected.ClrNormal = clOlive;
    expected.ClrGood = clAqua;
    expected.ClrPrio = clFuchsia;
    expected.RedialPause = 2;
    expected.Device = QStringLiteral("/dev/serial/by-id/usb-Modem-if00");
    EXPECT_EQ(shownDevice, QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(fields(settings), fields(expected));
    EXPECT_EQ(fields(reloaded()), fields(expected));
    EXPECT_EQ(settings.InitStr.size(), 60);
    EXPECT_EQ(settings.DialPrefix, QByteArray("AT\xC4P"));
    EXPECT_EQ(settings.SoundFile, programDir + QStringLiteral("my ring.wav"));
    EXPECT_EQ(
        target.calls,
        (QStringList{QStringLiteral("leds clYellow clNavy"), QStringLiteral("background clTeal"),
                     QStringLiteral("buttons clWhite clMaroon"), QStringLiteral("tray 1")}));
    EXPECT_TRUE(boxes->boxes().isEmpty());
}

TEST_F(SettingsDialogTest, ValuesOutsideTheLimitsShowAsTheBoundsAndOkStoresThem) {
    for (const auto& [ring, shownRing] : {std::pair{0, 1}, std::pair{9, 8}}) {
        settings.AnswerOnRing = ring;
        settings.Baud = 300;
        settings.ComNumber = 7;
        settings.DigCol = 1;
        QStringList seen;
        run([&](TSetupForm& form) {
            seen << form.seAnswerOnRing->text() << form.seCOMBaud->text()
                 << form.seCOMNumber->text() << form.seDigCol->text();
            form.btnSetOK->click();
        });
        EXPECT_EQ(seen, (QStringList{QString::number(shownRing), QStringLiteral("1200"),
                                     QStringLiteral("4"), QStringLiteral("2")}));
        EXPECT_EQ(settings.AnswerOnRing, shownRing);
        EXPECT_EQ(settings.Baud, 1200);
        EXPECT_EQ(reloaded().AnswerOnRing, shownRing);
    }
}

TEST_F(SettingsDialogTest, CancelEscapeOrTheCloseBoxChangeNothing) {
    LoadSaveSettings(kSaveSettings, settings, programDir);
    const QStringList before = fields(settings);
    const QStringList storedBefore = storedParam();
    for (const int way : {0, 1, 2}) {
        SCOPED_TRACE(way);
        const bool shown = run([way](TSetupForm& form) {
            form.seCOMNumber->setValue(4);
            form.eDevice->setText(QStringLiteral("/dev/ttyUSB0"));
            form.eInitStr->setText(QStringLiteral("ATZ"));
            form.clrBackGround->setColorValue(clRed);
            form.fnSound->setText(QStringLiteral("/tmp/other.wav"));
            if (way == 0) form.btnSetCancel->click();
            if (way == 1) QTest::keyClick(&form, Qt::Key_Escape);
            if (way == 2) form.close();
        });
        EXPECT_TRUE(shown);
    }
    EXPECT_EQ(fields(settings), before);
    EXPECT_EQ(storedParam(), storedBefore);
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST_F(SettingsDialogTest, AnotherCallerIdKindBringsAnInitStringItsModemTakes) {
    QStringList initStrings;
    run([&](TSetupForm& form) {
        EXPECT_FALSE(form.eCidInitStr->isEnabled()) << "the firmware needs no such command";
        form.rgCidMode->buttons()[1]->click();
        initStrings << form.eInitStr->text();
        EXPECT_TRUE(form.eCidInitStr->isEnabled());
        form.eCidInitStr->setText(QStringLiteral("AT#CID=1"));
        form.rgCidMode->buttons()[0]->click();
        initStrings << form.eInitStr->text();
        // One of the user's own stays whatever the kind.
        form.eInitStr->setText(QStringLiteral("ATZ"));
        form.rgCidMode->buttons()[1]->click();
        initStrings << form.eInitStr->text();
        form.cbHangUpWithheld->click();
        form.btnSetOK->click();
    });
    EXPECT_EQ(initStrings, QStringList({"ATV1", "ATM2+S64=1", "ATZ"}));
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(std::tuple(stored.CidMode, stored.CidInitStr, stored.InitStr, stored.HangUpBad,
                         stored.HangUpWithheld),
              std::tuple(1, "AT#CID=1", "ATZ", false, true));
}

TEST_F(SettingsDialogTest, AnNcidServerNeedsAnAddressTheProgramCanReach) {
    run([&](TSetupForm& form) {
        EXPECT_FALSE(form.eNcidServer->isEnabled());
        form.rgCidMode->buttons()[2]->click();
        EXPECT_EQ(std::tuple(form.eNcidServer->isEnabled(), form.eCidInitStr->isEnabled(),
                             form.btnSetOK->isEnabled(), form.eInitStr->text()),
                  std::tuple(true, false, false, QStringLiteral("ATM2+S64=1")))
            << "no address yet, and the modem's string left alone";
        EXPECT_FALSE(form.cbHangUpBad->isEnabled()) << "no modem to hang up with";
        form.eNcidServer->setText(QStringLiteral("nas:99999"));
        EXPECT_FALSE(form.btnSetOK->isEnabled());
        form.eNcidServer->setText(QStringLiteral(" [fd00::2]:3334 "));
        EXPECT_TRUE(form.btnSetOK->isEnabled());
        form.btnSetOK->click();
    });
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(std::tuple(stored.CidMode, stored.NcidServer), std::tuple(2, "[fd00::2]:3334"));
}

TEST_F(SettingsDialogTest, OkWithoutChangesSavesEverythingAgainAndReapplies) {
    ASSERT_FALSE(StoreKey(mainKeyPath()).sectionExists(QStringLiteral("Param")));
    const QStringList before = fields(settings);
    run([](TSetupForm& form) { QTest::keyClick(form.seCOMBaud, Qt::Key_Return); });
    EXPECT_EQ(fields(settings), before);
    QStringList stored = storedParam();
    EXPECT_EQ(stored.takeLast(), QStringLiteral("<absent>")) << "a Device never set stays out";
    EXPECT_FALSE(stored.contains(QStringLiteral("<absent>")));
    EXPECT_EQ(fields(reloaded()), before);
    EXPECT_EQ(
        target.calls,
        (QStringList{QStringLiteral("leds clLime clBlack"), QStringLiteral("background clBlack"),
                     QStringLiteral("buttons clSilver clGray"), QStringLiteral("tray 0")}));
}

TEST_F(SettingsDialogTest, AColourNotAmongTheSixteenShowsTheDesignedOneAndOkStoresIt) {
    settings.ClrOffLCD = 0x030201;
    settings.ClrNormalLCD = clBtnShadow;
    settings.ClrPhFuncBtn = TColor(0x00A6CAF0); // clCream
    settings.ClrGood = clNone;
    run([](TSetupForm& form) { form.btnSetOK->click(); });
    EXPECT_EQ(settings.ClrOffLCD, clBlack);
    EXPECT_EQ(settings.ClrNormalLCD, clLime);
    EXPECT_EQ(settings.ClrPhFuncBtn, clGray);
    EXPECT_EQ(settings.ClrGood, clBlue);
    EXPECT_EQ(reloaded().ClrOffLCD, clBlack);
    EXPECT_EQ(target.calls.first(), QStringLiteral("leds clLime clBlack"));
}

TEST_F(SettingsDialogTest, AnInvalidSoundFileKeepsTheDialogClosedAndIsReported) {
    settings.SoundFile = QStringLiteral("/snd/<ring>.wav");
    const QStringList before = fields(settings);
    bool shown = false;
    runWithErrorReport([&] {
        run([&](TSetupForm& form) {
            shown = true;
            form.btnSetOK->click();
        });
    });
    EXPECT_FALSE(shown);
    ASSERT_EQ(boxes->boxes().size(), 1);
    const BoxRequest box = boxes->boxes().first();
    EXPECT_EQ(box.caption, applicationTitle());
    EXPECT_EQ(box.icon, BoxIcon::Error);
    EXPECT_EQ(box.text, QStringLiteral("Invalid file name - /snd/<ring>.wav."));
    EXPECT_EQ(fields(settings), before);
    EXPECT_FALSE(StoreKey(mainKeyPath()).sectionExists(QStringLiteral("Param")));
    EXPECT_TRUE(target.calls.isEmpty());
    EXPECT_EQ(owner.findChild<TSetupForm*>(), nullptr) << "destroyed";
}

TEST_F(SettingsDialogTest, TheSoundFileKeepsItsBlanksAndBrowsesFromTheProgramFolder) {
    settings.SoundFile = QStringLiteral("/home/u/My Sounds/ring.wav");
    FileBrowseRequest asked;
    const FileBrowser previousBrowser =
        setFileBrowser([&](QWidget*, const FileBrowseRequest& request) -> std::optional<QString> {
            asked = request;
            return QStringLiteral("/opt/bells/old bell.wav");
        });
    QString shownText;
    run([&](TSetupForm& form) {
        shownText = form.fnSound->text();
        form.fnSound->button()->click();
        form.btnSetOK->click();
    });
    setFileBrowser(previousBrowser);
    EXPECT_EQ(shownText, QStringLiteral("\"/home/u/My Sounds/ring.wav\""));
    EXPECT_EQ(asked.directory, programDir);
    EXPECT_EQ(asked.nameFilters, QStringList{QStringLiteral("Sound-Files (*.wav)")});
    EXPECT_EQ(settings.SoundFile, QStringLiteral("/opt/bells/old bell.wav"));
}

TEST_F(SettingsDialogTest, ButtonsStayCentredThirtyPixelsApart) {
    QList<int> gaps, offCentre;
    int widened = 0;
    run([&](TSetupForm& form) {
        for (const int width : {form.width(), 547}) {
            form.resize(width, form.height());
            QCoreApplication::processEvents();
            const int w = form.pnSetupKeys->width() / 2;
            const QRect ok = form.btnSetOK->geometry(), cancel = form.btnSetCancel->geometry();
            gaps << cancel.left() - (ok.left() + ok.width());
            offCentre << (ok.left() + ok.width() + 15 - w) << (cancel.left() - 15 - w);
            EXPECT_EQ(ok.top(), cancel.top());
        }
        widened = form.pnSetupKeys->width();
        form.btnSetCancel->click();
    });
    EXPECT_EQ(widened, 547);
    EXPECT_EQ(gaps, (QList<int>{30, 30}));
    EXPECT_EQ(offCentre, (QList<int>{0, 0, 0, 0}));
}

// The names of the controls that Tab visits on one page, from the page tabs
// round to them again.
QStringList tabWalk(TSetupForm& form, QWidget* page) {
    const QSet<QString> controls{
        "seCOMNumber",   "seCOMBaud",  "eDevice",       "seAnswerOnRing", "eInitStr",
        "eDialPrefix",   "eAnswerStr", "seRedialPause", "clrOffLCD",      "clrNormalPhone",
        "clrBackGround", "ClrPhBtn",   "clrPhFuncBtn",  "ClrBadPh",       "ClrNormalPh",
        "ClrGoodPh",     "ClrPrioPh",  "fnLogEdit",     "seDigCol",       "rgTrayDblCl",
        "fnSound",       "btnSetOK",   "btnSetCancel",  "PageCtl"};
    form.PageCtl->setCurrentWidget(page);
    form.PageCtl->setFocus();
    QStringList visited;
    for (int step = 0; step < 40; ++step) {
        QWidget* at = QApplication::focusWidget();
        while (at && !controls.contains(at->objectName()))
            at = at->parentWidget();
        const QString name = at ? at->objectName() : QStringLiteral("?");
        if (step > 0 && name == QStringLiteral("PageCtl")) break;
        if (visited.isEmpty() || visited.last() != name) visited << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return visited;
}

TEST_F(SettingsDialogTest, TabOrderAsDesigned) {
    QList<QStringList> walks;
    run([&](TSetupForm& form) {
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        walks << tabWalk(form, form.ModemSheet) << tabWalk(form, form.ColorsSheet)
              << tabWalk(form, form.MiscSheet);
        form.btnSetCancel->click();
    });
    ASSERT_EQ(walks.size(), 3);
    EXPECT_EQ(walks[0].join(' '),
              QStringLiteral("PageCtl seCOMNumber seCOMBaud eDevice seAnswerOnRing "
                             "eInitStr eDialPrefix eAnswerStr seRedialPause "
                             "btnSetCancel btnSetOK"));
    EXPECT_EQ(walks[1].join(' '),
              QStringLiteral("PageCtl clrNormalPhone clrOffLCD clrBackGround ClrPhBtn clrPhFuncBtn "
                             "ClrBadPh ClrNormalPh ClrGoodPh ClrPrioPh btnSetCancel btnSetOK"));
    EXPECT_EQ(walks[2].join(' '), QStringLiteral("PageCtl seDigCol fnLogEdit rgTrayDblCl fnSound "
                                                 "btnSetCancel btnSetOK"));
}

TEST_F(SettingsDialogTest, ThePlacementIsKeptBetweenOpenings) {
    QRect first, second;
    QSize minimum;
    run([&](TSetupForm& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("TARVIK Settings..."));
        EXPECT_EQ(form.PageCtl->currentWidget(), form.ModemSheet);
        first = QRect(form.pos(), form.size());
        minimum = form.minimumSize();
        form.setGeometry(120, 130, 500, 520);
        form.btnSetCancel->click();
    });
    const StoreKey key(mainKeyPath());
    EXPECT_EQ(key.readString(kSettingsWinStateSection, QStringLiteral("NormPos")),
              QStringLiteral("120,130,620,650"));
    EXPECT_EQ(key.readString(kSettingsWinStateSection, QStringLiteral("PixelsPerInch")),
              QString::number(qRound(owner.screen()->logicalDotsPerInch())));
    run([&](TSetupForm& form) {
        second = form.geometry();
        form.btnSetCancel->click();
    });
    const qreal scale = owner.screen()->logicalDotsPerInch() / 120.0;
    EXPECT_EQ(first.topLeft(), QPoint(300, 227));
    EXPECT_GE(first.width(), qRound(347 * scale));
    EXPECT_GE(first.height(), qRound(409 * scale));
    EXPECT_EQ(minimum, first.size()) << "no smaller than it opens at first";
    EXPECT_EQ(second, QRect(120, 130, 500, 520));
}

TEST_F(SettingsDialogTest, TheMainWindowTakesTheNewColoursAndTrayAction) {
    TMainForm mainForm(settings);
    mainForm.SetUpFromSettings(true);
    QTimer driver;
    driver.setSingleShot(true);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* form = mainForm.findChild<TSetupForm*>();
        ASSERT_NE(form, nullptr);
        form->clrNormalPhone->setColorValue(clRed);
        form->clrBackGround->setColorValue(clNavy);
        form->rgTrayDblCl->setItemIndex(1);
        form->btnSetOK->click();
    });
    driver.start(0);
    runSettingsDialog(mainForm, settings, programDir);
    EXPECT_EQ(mainForm.Led[0]->onColor(), toQColor(clRed));
    EXPECT_EQ(mainForm.pnDigitalLed->color(), toQColor(clNavy));
    EXPECT_EQ(mainForm.RxPopupSys->defaultAction(), mainForm.miSwitchPort);
    EXPECT_EQ(reloaded().TrayDblCl, 1);
}

} // namespace
} // namespace tarvik
