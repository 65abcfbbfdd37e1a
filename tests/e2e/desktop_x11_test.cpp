// The real program on a private X server with a tray host, so it runs in the
// tray as on a desktop: the tray picture follows the port, the tray menu's
// items work by keys and by clicks, a call shows its number on the LED digits,
// clicks on the keypad dial, the phone book and the settings dialog open and
// close, and the menu ends the program with its settings saved. Pictures of
// the three windows go into the build folder.
#include "desktop_support.h"
#include "window_manager.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tarvik::e2e {
namespace {

const QString kMainTitle = QStringLiteral("^TARVIK \\[Courier TREVA 2\\.51\\+\\]$");
const QString kProgramClass = QStringLiteral("^tarvik$");

// The main window's design, in pixels at 120 dpi; the window scales with the screen.
constexpr qreal kDesignWidth = 345, kDesignHeight = 289, kLedPanelHeight = 68;

struct KeyPlace {
    char key;
    int left, top, height;
};
constexpr int kKeyWidth = 61;
constexpr KeyPlace kKeypad[] = {
    {'1', 10, 39, 31},   {'2', 79, 39, 31},  {'3', 148, 39, 31}, {'4', 10, 79, 31},
    {'5', 79, 79, 31},   {'6', 148, 79, 31}, {'7', 10, 118, 31}, {'8', 79, 118, 31},
    {'9', 148, 118, 31}, {'*', 10, 158, 30}, {'0', 79, 158, 30}, {'#', 148, 158, 30},
};

// The middle of a keypad key in window pixels; the keypad sits under the LED panel.
QPoint keyMiddle(char key, qreal scale) {
    for (const KeyPlace& place : kKeypad)
        if (place.key == key)
            return QPointF((place.left + kKeyWidth / 2.0) * scale,
                           (kLedPanelHeight + place.top + place.height / 2.0) * scale)
                .toPoint();
    return {};
}

std::string describe(const TrayLook& look) {
    return "blue on top " + std::to_string(look.blueTop) + ", red on top " +
           std::to_string(look.redTop) + ", red " + std::to_string(look.red);
}
// The still picture: blue letters on top, red only in the modem's row of lights.
bool isStill(const TrayLook& look) {
    return look.blueTop >= 6 && look.redTop == 0 && look.red > 0 && look.red < 30;
}
// Struck through: the red ring reaches the top and red covers much of the picture.
bool isStruck(const TrayLook& look) {
    return look.redTop >= 6 && look.red >= 40;
}

void saveScreenshot(const QImage& image, const QString& name) {
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    QDir().mkpath(TARVIK_SCREENSHOT_DIR);
    EXPECT_TRUE(image.save(QStringLiteral(TARVIK_SCREENSHOT_DIR "/") + name));
}

// One record of phones.dat: 168 bytes, each text with its length in front.
struct PhoneRecord {
    QByteArray phone, name, notes;
    qint32 status; // 0 BAD, 1 NORMAL, 2 GOOD, 3 PRIO
};

QByteArray encoded(const PhoneRecord& entry) {
    QByteArray record(168, '\0');
    const auto put = [&record](int at, const QByteArray& text) {
        record[at] = static_cast<char>(text.size());
        record.replace(at + 1, text.size(), text);
    };
    put(0, entry.phone);
    put(41, entry.name);
    put(102, entry.notes);
    for (int i = 0; i < 4; ++i)
        record[164 + i] = static_cast<char>((entry.status >> (8 * i)) & 0xFF);
    return record;
}

// Windows-1251 has the Cyrillic letters А to я as the bytes C0 to FF, in order.
QByteArray cp1251(QStringView text) {
    QByteArray bytes;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        bytes += static_cast<char>(u >= u'А' && u <= u'я' ? u - u'А' + 0xC0 : u);
    }
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum class Desktop { BareServer, Openbox };

std::string desktopName(const ::testing::TestParamInfo<Desktop>& info) {
    return info.param == Desktop::Openbox ? "Openbox" : "BareServer";
}

// Each test runs on the bare server and again under a window manager, where
// windows get frames, focus follows the manager's rules and stacking is its own.
class DesktopTest : public ::testing::TestWithParam<Desktop> {
protected:
    void SetUp() override {
        if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
        for (const char* tool : {"trayer", "xdotool", "xwininfo", "xprop", "import", "openbox"})
            ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty())
                << tool << " is not installed";
        if (GetParam() == Desktop::Openbox) {
            wm = std::make_unique<WindowManager>(x);
            ASSERT_TRUE(wm->started()) << "openbox does not manage the windows";
        }
        tray = std::make_unique<TrayHost>(x);
        ASSERT_TRUE(tray->started()) << "trayer did not open its panel";
    }

    // Boxes are recorded unless `realBoxes`, when they show as the user sees them.
    void launch(bool realBoxes = false) {
        sim = std::make_unique<Simulator>(box, QStringList{});
        QProcessEnvironment env = xTrayEnvironment(x, box);
        if (realBoxes) env.insert("TARVIK_RECORD_BOXES", "");
        app = std::make_unique<Tarvik>(box, env);
    }

    void waitForTrayIcon() {
        icon = tray->icon("tarvik");
        ASSERT_FALSE(icon.isEmpty()) << "the icon is not embedded in the tray";
    }

    void start(bool realBoxes = false) {
        launch(realBoxes);
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 20s).kind, "rx");
        waitForTrayIcon();
    }

    // A right click on the tray icon; the popup menu's window once it is painted.
    QString openTrayMenu() { return e2e::openTrayMenu(x, icon); }

    void chooseWithKeys(const QString& menu, const QStringList& keys) {
        EXPECT_TRUE(chooseFromMenu(x, menu, keys)) << "the menu closes when an item is chosen";
    }

    void click(const QString& window, QPoint at) {
        x.xdotool({"mousemove", "--window", window, QString::number(at.x()),
                   QString::number(at.y()), "click", "1"});
    }

    // Polls the tray picture until it looks as asked.
    bool trayLooks(bool (*wanted)(const TrayLook&), TrayLook& look) {
        return eventually(
            [&] {
                look = lookAtTrayPicture(grab(x, icon));
                return wanted(look);
            },
            10s);
    }

    // A picture of the window as the user sees it: under the window manager with
    // its frame (the README's pictures), else the bare window.
    void shoot(const QString& window, const QString& name) {
        const bool managed = GetParam() == Desktop::Openbox;
        saveScreenshot(grabSettled(x, window, 10s, managed ? grabFramed : grab),
                       managed ? name : "bare-" + name);
    }

    bool mainWindowShown() { return !x.findWindow(kMainTitle, 300).isEmpty(); }

    // The tray menu's first item; the main window, or "" when it did not show.
    QString showMainWindow() {
        const QString menu = openTrayMenu();
        if (menu.isEmpty()) return {};
        chooseWithKeys(menu, {"Down", "Return"});
        return x.findWindow(kMainTitle, 10000);
    }

    XServer x;
    std::unique_ptr<WindowManager> wm;
    std::unique_ptr<TrayHost> tray;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    QString icon;
};

TEST_P(DesktopTest, TheTrayPictureFollowsThePortThatTheMenuSwitches) {
    start();
    EXPECT_FALSE(mainWindowShown()) << "only the tray icon shows at start";
    TrayLook look;
    EXPECT_TRUE(trayLooks(isStill, look)) << "port open: " << describe(look);

    // Up from no chosen item goes to the last one, "Close Tarvik"; the port item is above it.
    QString menu = openTrayMenu();
    ASSERT_FALSE(menu.isEmpty()) << "a right click on the icon opens the menu";
    EXPECT_GE(screenRect(x, menu).height(), 8 * 12) << "eight items and two separators";
    chooseWithKeys(menu, {"Up", "Up", "Return"});
    EXPECT_EQ(sim->waitFor("ev", "port closed").kind, "ev");
    EXPECT_TRUE(trayLooks(isStruck, look)) << "port closed: " << describe(look);

    const int sent = sim->count("rx", "");
    const int opened = sim->count("ev", "port opened");
    menu = openTrayMenu();
    ASSERT_FALSE(menu.isEmpty());
    chooseWithKeys(menu, {"Up", "Up", "Return"});
    EXPECT_EQ(sim->waitFor("ev", "port opened", 10s, opened + 1).kind, "ev");
    // The picture is changed once the menu's handler has opened the port.
    EXPECT_TRUE(trayLooks(isStill, look)) << "port open again: " << describe(look);
    EXPECT_EQ(sim->count("rx", ""), sent) << "opening from the menu sends the modem nothing";
    EXPECT_FALSE(mainWindowShown()) << "the port item leaves the window hidden";
    EXPECT_EQ(app->terminate(), 0);
}

TEST_P(DesktopTest, ACallShowsItsNumberKeypadClicksDialAndTheMenuEndsTheProgram) {
    start();
    EXPECT_FALSE(mainWindowShown());
    sim->command("call 12345678");
    const QString window = x.findWindow(kMainTitle, 15000);
    ASSERT_FALSE(window.isEmpty()) << "a caller's number brings the window up";
    QImage shot;
    QString shown;
    EXPECT_TRUE(eventually(
        [&] {
            shot = grab(x, window);
            shown = readLeds(shot);
            return shown == "o 1234567";
        },
        10s))
        << "the caller 1234567 (category 8) with the marker o, shown: " << shown.toStdString();
    shoot(window, "main-window.png");
    const qreal scale = shot.width() / kDesignWidth;
    EXPECT_NEAR(shot.height(), kDesignHeight * scale, 2) << "keypad and status bar shown";

    for (char key : {'2', '5', '8', '0'})
        click(window, keyMiddle(key, scale));
    EXPECT_TRUE(eventually([&] { return (shown = readLeds(grab(x, window))) == "     2580"; }))
        << "the clicked digits, right-aligned: " << shown.toStdString();
    click(window, keyMiddle('#', scale));
    const auto dial = sim->waitFor(
        [](const TranscriptEntry& e) { return e.kind == "rx" && e.text.startsWith("ATD"); });
    EXPECT_EQ(dial.text, "ATDP2580\\r\\n");
    EXPECT_TRUE(
        eventually([&] { return box.logLines().contains("Outgoing call to \"2580\":OK"); }));

    // Up marks the last item, "Close Tarvik"; a click on the marked row chooses it.
    const QString menu = openTrayMenu();
    ASSERT_FALSE(menu.isEmpty());
    x.xdotool({"key", "Up"});
    QRect item;
    ASSERT_TRUE(eventually([&] { return !(item = highlightedItem(grab(x, menu))).isEmpty(); }));
    EXPECT_GT(item.top(), screenRect(x, menu).height() * 3 / 4) << "the last item is marked";
    click(menu, item.center());
    EXPECT_EQ(app->waitForExit(15s), 0) << "Close Tarvik ends the program";

    const QSettings ini(box.iniPath(), QSettings::IniFormat);
    EXPECT_TRUE(ini.childGroups().contains("Param"));
    EXPECT_TRUE(ini.childGroups().contains("WinState"));
    EXPECT_EQ(box.param("LastDialNum").toStdString(), "2580");
    EXPECT_EQ(box.param("DialPrefix").toStdString(), "ATDP");
}

TEST_P(DesktopTest, ThePhoneBookAndTheSettingsDialogOpenAndCloseAgain) {
    // In the list's order (by phone), so a save writes the same bytes.
    const PhoneRecord entries[] = {
        {"4951112233", cp1251(u"Иван Петров"), cp1251(u"дача, после 18:00"), 2},
        {"4953334455", "Office", "reception, ext. 12", 1},
        {"8125556677", cp1251(u"Ольга"), "", 3},
        {"9001234567", "Robocall", cp1251(u"не отвечать"), 0},
    };
    QByteArray phones;
    for (const PhoneRecord& entry : entries)
        phones += encoded(entry);
    writeFile(box.programDir() + "phones.dat", phones);
    {
        // A user's wider phone book, away from the main window, for a legible picture.
        QSettings list(box.path("config/Tarvik/PhoneList.ini"), QSettings::IniFormat);
        list.setValue("Columns/Order", "0,1,2,3");
        list.setValue("Columns/Sizes", "90,105,135,55");
        QSettings ini(box.iniPath(), QSettings::IniFormat);
        ini.setValue("PhBookState/NormPos", "300,80,790,320");
        ini.setValue("PhBookState/MinMaxPos", "-1,-1,-1,-1");
        ini.setValue("PhBookState/PixelsPerInch", "96");
        ini.setValue("PhBookState/ShowCmd", "1");
        ini.setValue("PhBookState/Flags", "0");
    }
    start();

    const QString window = showMainWindow();
    ASSERT_FALSE(window.isEmpty()) << "the menu's first item shows the window";
    const qreal scale = screenRect(x, window).width() / kDesignWidth;

    x.xdotool({"windowfocus", "--sync", window});
    x.xdotool({"key", "p"});
    const QString book = x.findWindow("^Phone Book$", 10000);
    ASSERT_FALSE(book.isEmpty()) << "p (the Phones key) opens the phone book";
    shoot(book, "phone-book.png");
    x.xdotool({"windowfocus", "--sync", book});
    x.xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntilGone(x, book)) << "Escape closes the phone book";
    EXPECT_TRUE(eventually([&] { return fileContents(box.programDir() + "phones.dat") == phones; }))
        << "the entries, Cyrillic included, went through the window unchanged";

    const QString menu = openTrayMenu();
    ASSERT_FALSE(menu.isEmpty());
    chooseWithKeys(menu, {"s"});
    const QString settings = x.findWindow("^TARVIK Settings\\.\\.\\.$", 10000);
    ASSERT_FALSE(settings.isEmpty()) << "&Settings... opens the dialog";
    const QImage dialog = grabSettled(x, settings);
    shoot(settings, "settings.png");
    // Cancel is the right one of the two keys centred in the bottom panel (51 high).
    click(settings, QPointF(dialog.width() / 2.0 + 15 + 46 * scale,
                            dialog.height() - (51 - 10 - 15.5) * scale)
                        .toPoint());
    EXPECT_TRUE(waitUntilGone(x, settings)) << "Cancel closes the dialog";
    EXPECT_FALSE(QSettings(box.iniPath(), QSettings::IniFormat).childGroups().contains("Param"))
        << "Cancel saves no settings";
    EXPECT_EQ(app->terminate(), 0);
}

// Under a window manager: each window's title as the manager shows it, and
// whatever the user must answer stacked above every window of the program that
// could cover it, the main window staying on top.
class ManagedDesktopTest : public DesktopTest {
protected:
    // A tray menu item chosen by keys; the program's new window it opens, or "".
    QString openFromTrayMenu(const QStringList& keys) {
        const QString menu = openTrayMenu();
        if (menu.isEmpty()) return {};
        const QStringList before = visibleWindows(x, kProgramClass);
        chooseWithKeys(menu, keys);
        return waitForNewWindow(x, kProgramClass, before);
    }

    // Keys to the window that has the focus; the program's new window they open.
    QString openWithKeys(const QString& window, const QStringList& keys) {
        const QStringList before = visibleWindows(x, kProgramClass);
        pressKeys(window, keys);
        return waitForNewWindow(x, kProgramClass, before);
    }

    void pressKeys(const QString& window, const QStringList& keys) {
        x.xdotool({"windowfocus", "--sync", window});
        x.xdotool(QStringList{"key", "--delay", "100"} + keys);
    }

    void answer(const QString& window, const QString& key) {
        pressKeys(window, {key});
        EXPECT_TRUE(waitUntilGone(x, window)) << key.toStdString() << " closes it";
    }

    // The window manager's stacking puts `upper` above each of `lower`.
    ::testing::AssertionResult stackedAbove(const QString& upper, const QStringList& lower) {
        QStringList order;
        const bool stacked = eventually([&] {
            order = clientStacking(x);
            const auto at = order.indexOf(hexId(upper));
            return at >= 0 && std::all_of(lower.begin(), lower.end(), [&](const QString& w) {
                       const auto below = order.indexOf(hexId(w));
                       return below >= 0 && below < at;
                   });
        });
        if (stacked) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << hexId(upper).toStdString() << " in the stacking "
                                             << order.join(' ').toStdString();
    }

    std::string titleOf(const QString& window) { return netWmName(x, window).toStdString(); }
};

TEST_P(ManagedDesktopTest, EachWindowHasItsOwnTitleAndDialogsStandAboveTheWindowsBelowThem) {
    writeFile(box.programDir() + "phones.dat",
              encoded({"4951112233", "Office", "", 1}) + encoded({"8125556677", "Home", "", 2}));
    start(true);
    const QString window = showMainWindow();
    ASSERT_FALSE(window.isEmpty());
    EXPECT_EQ(titleOf(window), "TARVIK [Courier TREVA 2.51+]");

    const QString book = openWithKeys(window, {"p"});
    ASSERT_FALSE(book.isEmpty()) << "p opens the phone book";
    EXPECT_EQ(titleOf(book), "Phone Book");
    EXPECT_TRUE(stackedAbove(book, {window})) << "the phone book's keys are not covered";
    EXPECT_EQ(transientFor(x, book), hexId(window)) << "every window manager keeps it above";

    const QString add = openWithKeys(book, {"alt+a"});
    ASSERT_FALSE(add.isEmpty()) << "Alt+A opens the entry dialog";
    EXPECT_EQ(titleOf(add), "Add phone item...");
    EXPECT_TRUE(stackedAbove(add, {window, book}));
    shoot(add, "entry-dialog.png");
    answer(add, "Escape");

    // A click into the list's empty part gives it the focus; Down selects the first row.
    const QRect list = screenRect(x, book);
    click(book, {20, list.height() - 20});
    pressKeys(book, {"Down"});
    const QString edit = openWithKeys(book, {"alt+e"});
    ASSERT_FALSE(edit.isEmpty()) << "Alt+E opens the entry dialog for the selected row";
    EXPECT_EQ(titleOf(edit), "Edit phone item...");
    EXPECT_TRUE(stackedAbove(edit, {window, book}));
    answer(edit, "Escape");

    const QString confirm = openWithKeys(book, {"alt+d"});
    ASSERT_FALSE(confirm.isEmpty()) << "Alt+D asks before deleting";
    EXPECT_EQ(titleOf(confirm), "Confirm");
    EXPECT_TRUE(stackedAbove(confirm, {window, book}));
    answer(confirm, "Escape");
    answer(book, "Escape");

    const QString settings = openFromTrayMenu({"s"});
    ASSERT_FALSE(settings.isEmpty()) << "&Settings... opens the dialog";
    EXPECT_EQ(titleOf(settings), "TARVIK Settings...");
    EXPECT_TRUE(stackedAbove(settings, {window}));
    answer(settings, "Escape");

    const QString about = openFromTrayMenu({"a"});
    ASSERT_FALSE(about.isEmpty()) << "&About opens the about box";
    EXPECT_EQ(titleOf(about), "About");
    EXPECT_TRUE(stackedAbove(about, {window}));
    answer(about, "Return");
    EXPECT_EQ(app->terminate(), 0);
}

TEST_P(ManagedDesktopTest, ErrorBoxesCarryTheirOwnTitlesAboveTheMainWindow) {
    // A port that cannot open fails the start-up; a cut phone book fails its load.
    QDir().mkpath(box.path("config/Tarvik/ports"));
    ASSERT_TRUE(QFile::link(box.path("no-such-device"), box.path("config/Tarvik/ports/COM4")));
    box.setParam("ComNumber", "4");
    writeFile(box.programDir() + "phones.dat", QByteArray(100, 'x'));
    launch(true);

    const QString error = waitForNewWindow(x, kProgramClass, {}, 20s);
    ASSERT_FALSE(error.isEmpty()) << "the start-up reports the port";
    EXPECT_EQ(titleOf(error), "Error");
    answer(error, "Return");

    waitForTrayIcon();
    const QString window = showMainWindow();
    ASSERT_FALSE(window.isEmpty());
    const QString report = openWithKeys(window, {"p"});
    ASSERT_FALSE(report.isEmpty()) << "the cut phone book is reported";
    EXPECT_EQ(titleOf(report), "TARVIK [Courier TREVA 2.51+]") << "the default error report";
    EXPECT_TRUE(stackedAbove(report, {window}));
    answer(report, "Return");
    EXPECT_EQ(app->terminate(), 0);
}

INSTANTIATE_TEST_SUITE_P(Openbox, ManagedDesktopTest, ::testing::Values(Desktop::Openbox),
                         desktopName);

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopTest,
                         ::testing::Values(Desktop::BareServer, Desktop::Openbox), desktopName);

} // namespace
} // namespace tarvik::e2e
