#include "modem/dialing.h"
#include "modem/number_display.h"
#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "store/colors.h"
#include "ui/tarvik_frm.h"
#include "ui/widgets/colors_qt.h"
#include "ui/widgets/digit_led.h"
#include "ui/widgets/oval_button.h"
#include "ui/widgets/panel.h"
#include "ui/widgets/pictures.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

namespace tarvik {
namespace {

using namespace std::chrono_literals;

// Remembers the handlers the window ran.
class RecordingEvents final : public MainEvents {
public:
    void FormClose() override { calls << QStringLiteral("FormClose"); }
    void btnPhoneKeysClick(int tag) override { calls << QStringLiteral("key %1").arg(tag); }
    void btnPhoneBookClick() override { calls << QStringLiteral("btnPhoneBookClick"); }
    void btnAnswerClick() override { calls << QStringLiteral("btnAnswerClick"); }
    void btnTalkClick() override { calls << QStringLiteral("btnTalkClick"); }
    void pnDigitalLedClick() override { calls << QStringLiteral("pnDigitalLedClick"); }
    void miSetupClick() override { calls << QStringLiteral("miSetupClick"); }
    void miAboutClick() override { calls << QStringLiteral("miAboutClick"); }
    void miAddCallerClick(const QByteArray& number) override {
        calls << QString::fromLatin1("add " + number);
    }
    void miMarkCallerBadClick(const QByteArray& number) override {
        calls << QString::fromLatin1("bad " + number);
    }
    void FormKeyPress(char& key) override { calls << QStringLiteral("press %1").arg(key); }
    void FormKeyDown(int& key, Qt::KeyboardModifiers) override {
        if (key == Qt::Key_Space && takeSpace) key = 0;
    }
    QStringList calls;
    bool takeSpace = false;
};

class FakePort final : public PortSwitch {
public:
    bool isOpen() const override { return open; }
    void setOpen(bool wanted) override { open = wanted && opens; }
    bool open = true;
    bool opens = true;
};

class MainFormTest : public ::testing::Test {
protected:
    MainFormTest() {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        LoadSaveSettings(kLoadSettings, settings, config.path() + QLatin1Char('/'));
        previous = setMessagePresenter(boxes);
        form.setEvents(&events);
        form.setLogSink([this](const QByteArray& line) { logged.append(line); });
        form.setStatusText("Waiting for a call...");
        form.SetUpFromSettings(true);
    }
    ~MainFormTest() override { setMessagePresenter(previous); }

    void startWithTray(bool available) {
        form.desktop().startTray([available] { return available; }, 0ms);
    }

    std::array<LedSegments, kLedCount> shown() const {
        std::array<LedSegments, kLedCount> bars{};
        for (int i = 0; i < kLedCount; ++i)
            bars[i] = form.Led[i]->segments();
        return bars;
    }
    static std::array<LedSegments, kLedCount> expected(const char (&nine)[kLedCount + 1]) {
        std::array<LedSegments, kLedCount> bars{};
        for (int i = 0; i < kLedCount; ++i)
            bars[i] = nine[i] == '-' ? bSeven : LedGlyph(nine[i]);
        return bars;
    }
    int px(int design) const { return qRound(design * form.designScale()); }

    QTemporaryDir config;
    SettingsRecord settings;
    std::shared_ptr<RecordingPresenter> boxes = std::make_shared<RecordingPresenter>();
    std::shared_ptr<MessagePresenter> previous;
    RecordingEvents events;
    QList<QByteArray> logged;
    TMainForm form{settings};
};

TEST_F(MainFormTest, DesignedWindow) {
    EXPECT_EQ(form.windowTitle(), "TARVIK [Courier TREVA 2.51+]");
    EXPECT_DOUBLE_EQ(form.designScale(), form.screen()->logicalDotsPerInch() / 120.0);
    EXPECT_EQ(form.size(), QSize(px(345), px(289)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "not resizable";
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));

    EXPECT_EQ(form.pnDigitalLed->geometry(), QRect(0, 0, px(345), px(68)));
    EXPECT_EQ(form.sBar->geometry(), QRect(0, px(289) - px(23), px(345), px(23)));
    EXPECT_EQ(form.pnPhoneKeys->geometry(), QRect(0, px(68), px(345), px(289) - px(23) - px(68)));
    EXPECT_EQ(form.pnFastKeys->width(), px(126));
    EXPECT_EQ(form.pnFastKeys->geometry().right(), form.pnPhoneKeys->width() - 2)
        << "inside the bevel";
    const int lefts[] = {6, 43, 80, 117, 154, 191, 228, 265, 302};
    for (int i = 0; i < kLedCount; ++i) {
        EXPECT_EQ(form.Led[i]->objectName(), QStringLiteral("Led%1").arg(i));
        EXPECT_EQ(form.Led[i]->geometry(),
                  QRect(px(lefts[i]), px(6), px(i == 8 ? 36 : 37), px(56)));
    }
    EXPECT_EQ(form.btnTalk->geometry(), QRect(px(6), px(79), px(116), px(50)));
    EXPECT_EQ(form.font().pixelSize(), px(14));
    EXPECT_EQ(form.btnFive->font().pixelSize(), px(11));
    EXPECT_FALSE(form.sBar->isSizeGripEnabled());
}

TEST_F(MainFormTest, KeypadCaptionsTagsHintsAndPlaces) {
    struct Key {
        TOvalButton* key;
        const char* caption;
        int tag, left, top, height;
        const char* hint;
    };
    const Key keys[] = {
        {form.btnReset, "Reset", 130, 10, 4, 30, "Reset dialed number."},
        {form.btnErase, "<", 140, 148, 4, 30, "Erase last entered digit."},
        {form.btnOne, "1", 10, 10, 39, 31, ""},
        {form.btnTwo, "2", 20, 79, 39, 31, ""},
        {form.btnThree, "3", 30, 148, 39, 31, ""},
        {form.btnFour, "4", 40, 10, 79, 31, ""},
        {form.btnFive, "5", 50, 79, 79, 31, ""},
        {form.btnSix, "6", 60, 148, 79, 31, ""},
        {form.btnSeven, "7", 70, 10, 118, 31, ""},
        {form.btnEight, "8", 80, 79, 118, 31, ""},
        {form.btnNine, "9", 90, 148, 118, 31, ""},
        {form.btnFlash, "*", 110, 10, 158, 30, "Flash"},
        {form.btnZero, "0", 100, 79, 158, 30, ""},
        {form.btnRepeat, "#", 120, 148, 158, 30, "Redial"},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.caption);
        EXPECT_EQ(k.key->text(), k.caption);
        EXPECT_EQ(k.key->tag(), k.tag);
        EXPECT_EQ(k.key->toolTip(), k.hint);
        EXPECT_EQ(k.key->geometry(), QRect(px(k.left), px(k.top), px(61), px(k.height)));
        EXPECT_EQ(k.key->parentWidget(), form.pnPhoneKeys);
        EXPECT_EQ(form.keyByTag(k.tag), k.key);
        EXPECT_EQ(k.key->focusPolicy(), Qt::NoFocus);
    }
    struct Fast {
        QPushButton* key;
        const char* caption;
        const char* hint;
    };
    for (const Fast& k :
         {Fast{form.btnPhoneBook, "&Phones", "Your own phone book..."},
          Fast{form.btnAnswer, "&Answer", "Manual answer..."}, Fast{form.btnTalk, "&Talk", ""},
          Fast{form.btnClose, "&Close", "Close TARVIK."}}) {
        SCOPED_TRACE(k.caption);
        EXPECT_EQ(k.key->text(), k.caption);
        EXPECT_EQ(k.key->toolTip(), k.hint);
        EXPECT_FALSE(k.key->icon().pixmap(16, QIcon::Normal).isNull());
        EXPECT_NE(k.key->icon().pixmap(16, QIcon::Normal).toImage(),
                  k.key->icon().pixmap(16, QIcon::Disabled).toImage());
        EXPECT_NE(k.key->focusPolicy(), Qt::NoFocus);
    }
}

TEST_F(MainFormTest, KeysAndLedPanelReachTheirHandlers) {
    form.show();
    QTest::mouseClick(form.btnSeven, Qt::LeftButton);
    QTest::mouseClick(form.btnRepeat, Qt::LeftButton);
    QTest::mouseClick(form.btnAnswer, Qt::LeftButton);
    QTest::mouseClick(form.btnTalk, Qt::LeftButton);
    QTest::mouseClick(form.btnPhoneBook, Qt::LeftButton);
    QTest::mouseClick(form.Led[4], Qt::LeftButton);
    QTest::mouseClick(form.pnDigitalLed, Qt::LeftButton, {}, QPoint(2, 2));
    form.miSetup->trigger();
    form.miAbout->trigger();
    EXPECT_EQ(events.calls, (QStringList{"key 70", "key 120", "btnAnswerClick", "btnTalkClick",
                                         "btnPhoneBookClick", "pnDigitalLedClick",
                                         "pnDigitalLedClick", "miSetupClick", "miAboutClick"}));
    EXPECT_EQ(form.pnDigitalLed->popupMenu(), form.RxPopupSys);
    EXPECT_EQ(form.pnPhoneKeys->popupMenu(), form.RxPopupSys);
    EXPECT_EQ(form.TrayIco->contextMenu(), form.RxPopupSys);
    EXPECT_TRUE(form.TrayIco->toolTip().isEmpty());
}

TEST_F(MainFormTest, PopupMenuItems) {
    QStringList captions;
    for (QAction* item : form.RxPopupSys->actions())
        captions << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(captions, (QStringList{"&Open", "Phone keys", "StatusBar", "Stay On Top",
                                     "&Settings...", "-", "Add to Phone Book...", "Mark as BAD",
                                     "-", "&About", "-", "&Close Port", "Close Tarvik"}));
    EXPECT_FALSE(form.miOpenFullSize->isChecked());
    EXPECT_TRUE(form.miPhoneKeysSw->isChecked());
    EXPECT_TRUE(form.miSBarSw->isChecked());
    EXPECT_TRUE(form.miStayOnTop->isChecked());
    EXPECT_EQ(form.RxPopupSys->defaultAction(), form.miOpenFullSize) << "TrayDblCl 0";
}

// The call logic sets the number without telling the window: the items and
// their keys follow it all the same, whatever has the focus.
TEST_F(MainFormTest, CallerItemsRunOnlyWhileACallerIsOnDisplay) {
    form.show();
    for (const QByteArray number : {"", "5551234567", ""}) {
        events.calls.clear();
        form.state().CallerNumber = number;
        QTest::keyClick(&form, Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(form.btnTalk, Qt::Key_B, Qt::ControlModifier);
        form.RxPopupSys->popup(form.mapToGlobal(QPoint(5, 5)));
        const bool on = !number.isEmpty();
        EXPECT_EQ(std::pair(form.miAddCaller->isEnabled(), form.miMarkBad->isEnabled()),
                  std::pair(on, on));
        form.RxPopupSys->hide();
        form.miMarkBad->trigger();
        const QStringList ran = {"add " + number, "bad " + number, "bad " + number};
        EXPECT_EQ(events.calls, on ? ran : QStringList()) << "and nothing reaches the keypad";
    }
}

TEST_F(MainFormTest, HiddenAtStartWithATray) {
    startWithTray(true);
    EXPECT_EQ(form.desktop().trayMode(), DesktopPresence::TrayMode::Tray);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.TrayIco->isVisible());
    EXPECT_EQ(shown(), expected("         "));
    EXPECT_FALSE(form.state().InCall);
    EXPECT_TRUE(form.state().DialedNumber.isEmpty());
    EXPECT_EQ(form.statusText(), "Waiting for a call...");
    EXPECT_EQ(form.sBar->currentMessage(), "Waiting for a call...");
}

TEST_F(MainFormTest, WithoutATrayTheWindowShowsAndHideMinimises) {
    startWithTray(false);
    EXPECT_EQ(form.desktop().trayMode(), DesktopPresence::TrayMode::NoTray);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.miOpenFullSize->isChecked());
    EXPECT_EQ(form.miOpenFullSize->text(), "Hide");
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window) << "a task-bar entry";
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));

    form.miOpenFullSize->trigger();
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.miOpenFullSize->text(), "Open");
    form.miOpenFullSize->trigger();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(form.miOpenFullSize->text(), "Hide");
}

TEST_F(MainFormTest, ATrayThatComesLateIsTaken) {
    int asked = 0;
    QSignalSpy decided(&form.desktop(), &DesktopPresence::trayDecided);
    QElapsedTimer clock;
    clock.start();
    form.desktop().startTray([&asked] { return ++asked >= 3; }, 3000ms);
    EXPECT_EQ(form.desktop().trayMode(), DesktopPresence::TrayMode::Undecided);
    EXPECT_FALSE(form.isVisible());
    ASSERT_TRUE(decided.wait(3000));
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LE(clock.elapsed(), 2000);
    EXPECT_EQ(decided.at(0).at(0).toBool(), true);
    EXPECT_EQ(form.desktop().trayMode(), DesktopPresence::TrayMode::Tray);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, NoTrayWithinThePatienceShowsTheWindow) {
    QSignalSpy decided(&form.desktop(), &DesktopPresence::trayDecided);
    QElapsedTimer clock;
    clock.start();
    form.desktop().startTray([] { return false; }, 600ms);
    ASSERT_TRUE(decided.wait(3000));
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_LE(clock.elapsed(), 2500);
    EXPECT_EQ(decided.at(0).at(0).toBool(), false);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormTest, CallerDisplayTableCellByCell) {
    startWithTray(true);
    struct Row {
        const char* line;
        const char shown[kLedCount + 1];
        int category; // -1: none
    };
    const Row rows[] = {
        {"CallerID: 12345678", "o 1234567", 8},    {"CallerID: 0012345678", "o 1234567", 8},
        {"CallerID: 99912345678", "o 1234567", 8}, {"CallerID: 123?5678", "u 123-567", 8},
        {"CallerID: 1234567?", "o 1234567", 0},    {"CallerID: 1234", "o     123", 4},
        {"CallerID: Unknown", "n -------", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        form.SetWindowVisible(false);
        form.miOpenFullSize->setChecked(false);
        logged.clear();
        form.ShowCallerId(row.line);
        const auto bars = shown();
        const auto want = expected(row.shown);
        for (int i = 0; i < kLedCount; ++i)
            EXPECT_EQ(bars[i], want[i]) << "Led" << i;
        EXPECT_EQ(logged, row.category < 0 ? QList<QByteArray>{}
                                           : QList<QByteArray>{CallerCategories()[row.category]});
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.miOpenFullSize->isChecked());
        EXPECT_EQ(form.miOpenFullSize->text(), "Hide");
    }
}

TEST_F(MainFormTest, UnknownFollowsDigColAndTwoLinesInARow) {
    settings.DigCol = 8;
    form.ShowCallerId("CallerID: Unknown");
    EXPECT_EQ(shown(), expected("n--------"));
    settings.DigCol = 2;
    form.ShowCallerId("CallerID: Unknown");
    EXPECT_EQ(shown(), expected("n      --"));
    EXPECT_TRUE(logged.isEmpty());

    settings.DigCol = 7;
    form.ShowCallerId("CallerID: 4951234567");
    form.ShowCallerId("CallerID: 3334449");
    EXPECT_EQ(shown(), expected("o  333444"));
    EXPECT_EQ(logged, (QList<QByteArray>{CallerCategories()[7], CallerCategories()[9]}));
}

TEST_F(MainFormTest, BadCategoryGoesToTheDefaultReport) {
    setApplicationTitle(QStringLiteral("TARVIK [Courier TREVA 2.51+]"));
    runWithErrorReport([this] { form.ShowCallerId("CallerID: 1234567X"); });
    EXPECT_EQ(shown(), expected("o 1234567")) << "the display has changed";
    EXPECT_TRUE(logged.isEmpty());
    ASSERT_EQ(boxes->boxes().size(), 1);
    const BoxRequest box = boxes->boxes().at(0);
    EXPECT_EQ(box.caption, "TARVIK [Courier TREVA 2.51+]");
    EXPECT_EQ(box.text, "'X' is not a valid integer value.");
    EXPECT_EQ(box.icon, BoxIcon::Error);
}

TEST_F(MainFormTest, NothingLeftOfTheNumber) {
    form.ShowOnLeds("888888888");
    form.ShowCallerId("CallerID: 0000");
    EXPECT_EQ(shown(), expected("o        "));
    EXPECT_TRUE(logged.isEmpty());
    EXPECT_TRUE(boxes->boxes().isEmpty());
}

TEST_F(MainFormTest, DialedNumberAndLedText) {
    form.state().DialedNumber = "12";
    form.ShowDialedNumber();
    EXPECT_EQ(shown(), expected("       12"));
    form.state().DialedNumber = "1234567890";
    form.ShowDialedNumber();
    EXPECT_EQ(shown(), expected("       12"));
    form.ShowOnLeds("1234567890");
    EXPECT_EQ(shown(), expected("123456789"));
    form.ShowOnLeds("");
    EXPECT_EQ(shown(), expected("         "));
}

TEST_F(MainFormTest, TogglesGrowAndShrinkOnce) {
    const int full = form.height();
    const int keypad = form.pnPhoneKeys->height(), bar = form.sBar->height();
    EXPECT_EQ(keypad, full - px(68) - px(23));

    form.miPhoneKeysSw->trigger();
    EXPECT_FALSE(settings.PhKeysShow);
    EXPECT_FALSE(form.miPhoneKeysSw->isChecked());
    EXPECT_EQ(form.height(), full - keypad);
    form.ShowPhoneKeys(false);
    EXPECT_EQ(form.height(), full - keypad) << "hiding twice shrinks once";
    EXPECT_TRUE(form.pnFastKeys->isHidden() || !form.pnFastKeys->isVisibleTo(&form));

    form.miSBarSw->trigger();
    EXPECT_FALSE(settings.SBarShow);
    EXPECT_EQ(form.height(), px(68)) << "only the LED panel is left";
    EXPECT_EQ(form.width(), px(345));

    form.ShowPhoneKeys(true);
    form.ShowPhoneKeys(true);
    EXPECT_EQ(form.height(), px(68) + keypad) << "showing twice grows once";
    form.miSBarSw->trigger();
    EXPECT_TRUE(settings.SBarShow);
    EXPECT_EQ(form.height(), full);
    EXPECT_EQ(form.sBar->geometry(), QRect(0, full - bar, px(345), bar));
    EXPECT_EQ(form.pnPhoneKeys->geometry(), QRect(0, px(68), px(345), keypad));
}

TEST_F(MainFormTest, StayOnTopToggle) {
    form.show();
    form.miStayOnTop->trigger();
    EXPECT_FALSE(settings.StayOnTop);
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(form.isVisible());
    form.miStayOnTop->trigger();
    EXPECT_TRUE(settings.StayOnTop);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(MainFormTest, TrayDoubleClickRunsTheDefaultItem) {
    FakePort port;
    form.setPort(&port);
    startWithTray(true);

    form.ApplyTrayDblClick(0);
    form.TrayDoubleClick();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.miOpenFullSize->isChecked());
    form.TrayDoubleClick();
    EXPECT_FALSE(form.isVisible());

    form.ApplyTrayDblClick(1);
    EXPECT_EQ(form.RxPopupSys->defaultAction(), form.miSwitchPort);
    form.TrayDoubleClick();
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form.miSwitchPort->text(), "&Open Port");
    EXPECT_FALSE(form.isVisible());

    form.ApplyTrayDblClick(7);
    EXPECT_EQ(form.RxPopupSys->defaultAction(), form.miSwitchPort) << "no change";
    form.miSwitchPort->setEnabled(false);
    form.TrayDoubleClick();
    EXPECT_FALSE(port.open) << "a disabled default does nothing";
}

TEST(MainFormDesign, NoDefaultItemUntilTheActionIsApplied) {
    SettingsRecord settings;
    TMainForm form(settings);
    form.ApplyTrayDblClick(7);
    EXPECT_EQ(form.RxPopupSys->defaultAction(), nullptr);
    form.TrayDoubleClick();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.miOpenFullSize->text(), "&Open");
}

TEST_F(MainFormTest, OpenItemCaptions) {
    startWithTray(true);
    EXPECT_EQ(form.miOpenFullSize->text(), "&Open");
    form.miOpenFullSize->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.miOpenFullSize->text(), "Hide");
    form.miOpenFullSize->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.miOpenFullSize->isChecked());
    EXPECT_EQ(form.miOpenFullSize->text(), "Open");
}

// The window manager may minimise the window though it offers no minimise box.
TEST_F(MainFormTest, AMinimisedWindowComesBackAndTheOpenItemTellsTheTruth) {
    startWithTray(true);
    const auto minimise = [this] { form.setWindowState(form.windowState() | Qt::WindowMinimized); };
    const auto itemReads = [this](const char* caption, bool checked) {
        EXPECT_EQ(form.miOpenFullSize->text(), caption);
        EXPECT_EQ(form.miOpenFullSize->isChecked(), checked);
    };
    form.miOpenFullSize->trigger();
    minimise();
    itemReads("Open", false);
    form.miOpenFullSize->trigger();
    EXPECT_TRUE(form.isVisible() && !form.isMinimized()) << "Open restores the window";
    itemReads("Hide", true);

    minimise();
    form.ShowCallerId("CallerID: 12345678");
    EXPECT_TRUE(form.isVisible() && !form.isMinimized()) << "a caller brings it back";
    itemReads("Hide", true);

    minimise();
    form.SetWindowVisible(false);
    itemReads("Open", false);
    form.showForCaller("Incoming call: 1234 GRANNY");
    EXPECT_TRUE(form.isVisible() && !form.isMinimized()) << "hidden while minimised";
    EXPECT_EQ(form.TrayIco->toolTip(), "Incoming call: 1234 GRANNY") << "the tray names the caller";
    itemReads("Hide", true);

    minimise();
    form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
    itemReads("Hide", true);
}

TEST_F(MainFormTest, TheTrayKindChoosesTheActivationThatRunsTheDefaultItem) {
    FakePort port;
    form.setPort(&port);
    startWithTray(true);
    const auto activate = [this](QSystemTrayIcon::ActivationReason reason) {
        emit form.TrayIco->activated(reason);
    };

    form.desktop().setTrayKind(DesktopPresence::TrayKind::XEmbed);
    activate(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form.isVisible()) << "a single click on an XEmbed tray";
    activate(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form.isVisible());
    activate(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible()) << "the first click of the next double click";

    form.desktop().setTrayKind(DesktopPresence::TrayKind::StatusNotifier);
    activate(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form.isVisible()) << "a StatusNotifierItem host's activation";
    activate(QSystemTrayIcon::MiddleClick);
    activate(QSystemTrayIcon::Context);
    EXPECT_FALSE(form.isVisible());
    activate(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.miOpenFullSize->text(), "Hide");

    form.ApplyTrayDblClick(1);
    activate(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form.miSwitchPort->text(), "&Open Port");
}

TEST_F(MainFormTest, PortItemAndTrayPicture) {
    const QImage still = trayPicture(16, false).toImage();
    const QImage struck = trayPicture(16, true).toImage();
    EXPECT_EQ(form.TrayIco->icon().pixmap(16).toImage(), still) << "port open at start";

    form.miSwitchPort->trigger(); // no port component: nothing
    EXPECT_EQ(form.miSwitchPort->text(), "&Close Port");

    FakePort port;
    form.setPort(&port);
    form.miSwitchPort->trigger();
    EXPECT_FALSE(port.open);
    EXPECT_EQ(form.miSwitchPort->text(), "&Open Port");
    EXPECT_EQ(form.TrayIco->icon().pixmap(16).toImage(), struck);

    port.opens = false; // the port cannot be opened
    form.miSwitchPort->trigger();
    EXPECT_EQ(form.miSwitchPort->text(), "&Open Port");
    EXPECT_EQ(form.TrayIco->icon().pixmap(16).toImage(), struck);
    port.opens = true;
    form.miSwitchPort->trigger();
    EXPECT_EQ(form.miSwitchPort->text(), "&Close Port");

    form.setPortState(false);
    EXPECT_EQ(form.TrayIco->icon().pixmap(32).toImage(), trayPicture(32, true).toImage());

    // Calls from a server: the item follows the user's choice, the picture the connection.
    const auto keysOn = [this] {
        return std::ranges::count_if(form.phoneKeys(), &QWidget::isEnabled) +
               form.btnAnswer->isEnabled() + form.btnTalk->isEnabled();
    };
    form.setCallSource(true);
    EXPECT_EQ(std::tuple(form.miSwitchPort->text(), keysOn()), std::tuple("&Disconnect", 0));
    EXPECT_EQ(form.btnOne->toolTip(), kNoDialingText);
    EXPECT_EQ(form.btnRepeat->toolTip(), "Redial") << "a key's own hint stays";
    form.miSwitchPort->trigger();
    EXPECT_EQ(std::tuple(port.open, form.miSwitchPort->text()), std::tuple(false, "&Connect"));
    form.setPortState(true);
    EXPECT_EQ(form.TrayIco->icon().pixmap(16).toImage(), still);
    EXPECT_EQ(form.miSwitchPort->text(), "&Connect");
    form.setCallSource(false);
    EXPECT_EQ(std::tuple(keysOn(), form.btnOne->toolTip(), form.miSwitchPort->text()),
              std::tuple(16, "", "&Close Port"));
}

TEST_F(MainFormTest, ColoursGoToTheirControls) {
    form.ApplyLedColors(clRed, clNavy);
    form.ApplyButtonColors(clYellow, clPurple);
    form.ApplyBackgroundColor(clMaroon);
    for (TDigitLed* led : form.Led) {
        EXPECT_EQ(led->onColor(), toQColor(clRed));
        EXPECT_EQ(led->offColor(), toQColor(clNavy));
    }
    for (TOvalButton* key : form.phoneKeys()) {
        const bool digit = key->text().size() == 1 && key->text()[0].isDigit();
        EXPECT_EQ(key->color(), toQColor(digit ? clYellow : clPurple))
            << key->objectName().toStdString();
    }
    for (TPanel* panel : {form.pnFastKeys, form.pnDigitalLed, form.pnPhoneKeys})
        EXPECT_EQ(panel->color(), toQColor(clMaroon));
    EXPECT_NE(form.sBar->palette().color(QPalette::Window), toQColor(clMaroon));
}

TEST(MainFormDesign, DesignColoursBeforeSettings) {
    SettingsRecord settings;
    TMainForm form(settings);
    EXPECT_EQ(form.Led[0]->onColor(), QColor(0, 255, 0));
    EXPECT_EQ(form.Led[0]->offColor(), QColor(0, 0, 0));
    EXPECT_EQ(form.btnReset->color(), toQColor(clTeal));
    EXPECT_EQ(form.btnOne->color(), toQColor(clSilver));
    EXPECT_EQ(form.btnRepeat->color(), toQColor(clBtnShadow));
    EXPECT_EQ(form.pnDigitalLed->color(), QColor(Qt::black));
}

TEST_F(MainFormTest, AcceleratorsWithTheKeypadShown) {
    form.show();
    QTest::keyClick(&form, Qt::Key_P);
    QTest::keyClick(&form, Qt::Key_A);
    QTest::keyClick(&form, Qt::Key_T);
    QTest::keyClick(&form, Qt::Key_T, Qt::ShiftModifier);
    QTest::keyClick(&form, Qt::Key_A, Qt::AltModifier);
    QTest::keyClick(&form, Qt::Key_5);
    QTest::keyClick(form.btnTalk, Qt::Key_Q); // focused control: still previewed
    QTRY_COMPARE(events.calls.size(), 7);
    EXPECT_EQ(events.calls, (QStringList{"btnPhoneBookClick", "btnAnswerClick", "btnTalkClick",
                                         "btnTalkClick", "btnAnswerClick", "press 5", "press q"}));

    QSignalSpy closed(&form, &TMainForm::formClosed);
    QTest::keyClick(&form, Qt::Key_C);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(events.calls.contains("FormClose"));
    EXPECT_FALSE(events.calls.contains("press c"));
}

TEST_F(MainFormTest, NoAcceleratorsWithTheKeypadHidden) {
    form.show();
    form.ShowPhoneKeys(false);
    QSignalSpy closed(&form, &TMainForm::formClosed);
    for (Qt::Key key : {Qt::Key_P, Qt::Key_A, Qt::Key_T, Qt::Key_C})
        QTest::keyClick(&form, key);
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
    // Keys are sent, not posted: their handlers have run by now.
    EXPECT_EQ(events.calls, (QStringList{"press p", "press a", "press t", "press c"}));
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormTest, KeyDownCanKeepAKeyFromTheFocusedControl) {
    form.show();
    form.btnAnswer->setFocus();
    events.takeSpace = true;
    QTest::keyClick(form.btnAnswer, Qt::Key_Space); // sent: handled on return
    EXPECT_EQ(events.calls, QStringList{"press  "}) << "the character still reaches FormKeyPress";
    events.takeSpace = false;
    events.calls.clear();
    QTest::keyClick(form.btnAnswer, Qt::Key_Space);
    QTRY_COMPARE(events.calls, (QStringList{"press  ", "btnAnswerClick"}));
}

TEST_F(MainFormTest, TabMovesAmongTheFastKeysAndEnterClicks) {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.btnPhoneBook->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.btnAnswer);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(events.calls.contains("btnTalkClick"));
    EXPECT_FALSE(events.calls.contains("btnAnswerClick"));
}

TEST_F(MainFormTest, CloseItemShowsTheWindowFirst) {
    startWithTray(true);
    bool visibleWhenClosing = false;
    QObject::connect(&form, &TMainForm::formClosed,
                     [&] { visibleWhenClosing = form.miOpenFullSize->text() == "Hide"; });
    form.miCloseTarvik->trigger();
    EXPECT_TRUE(visibleWhenClosing);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(events.calls, QStringList{"FormClose"});
}

TEST_F(MainFormTest, ViewForTheLogic) {
    MainView& view = form;
    view.setStatusText("Outgoing call to \"\xC0\xC1\":BUSY");
    EXPECT_EQ(form.sBar->currentMessage(), QStringLiteral("Outgoing call to \"АБ\":BUSY"));
    EXPECT_EQ(view.statusText(), "Outgoing call to \"\xC0\xC1\":BUSY");
    view.setKeyDown(50, true);
    EXPECT_TRUE(form.btnFive->isDown());
    view.setKeyDown(50, false);
    EXPECT_FALSE(form.btnFive->isDown());
    view.setRepeatHint(QStringLiteral("Dial"));
    EXPECT_EQ(form.btnRepeat->toolTip(), "Dial");
    EXPECT_TRUE(view.phoneKeysVisible());
    form.ShowPhoneKeys(false);
    EXPECT_FALSE(view.phoneKeysVisible());
    EXPECT_EQ(view.leds()[3], form.Led[3]);
}

TEST_F(MainFormTest, Screenshot) {
    settings.DigCol = 7;
    form.ShowCallerId("CallerID: 84951234567");
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(shot.size(), form.size() * form.devicePixelRatio());
    EXPECT_TRUE(shot.save(QStringLiteral(TARVIK_TEST_OUTPUT_DIR "/main_window_offscreen.png")));
}

} // namespace
} // namespace tarvik
