// The main window under a window manager (openbox) that minimises it though it
// offers no minimise box: a caller's number brings it back into view every
// time, from minimised, from a close while minimised and from behind other
// windows, and it never takes the keyboard from the program the user is typing
// into; the tray menu's first item always names what it will do, and Open
// restores a minimised window.
#include "desktop_support.h"
#include "window_manager.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

class WindowStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
        for (const char* tool : {"openbox", "trayer", "xdotool", "xprop", "xwininfo", "import"})
            ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty())
                << tool << " is not installed";
        wm = std::make_unique<WindowManager>(x);
        ASSERT_TRUE(wm->started()) << "openbox does not manage the windows";
        tray = std::make_unique<TrayHost>(x);
        ASSERT_TRUE(tray->started()) << "trayer did not open its panel";
        sim = std::make_unique<Simulator>(box, QStringList{});
    }

    void start() {
        app = std::make_unique<Tarvik>(box, xTrayEnvironment(x, box));
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 20s, ++starts).kind, "rx");
        icon = tray->icon("tarvik");
        ASSERT_FALSE(icon.isEmpty()) << "the icon is not embedded in the tray";
    }

    // A caller; the main window once it is in view, or "".
    QString call() {
        sim->command("call 12345678");
        const QString window = x.findWindow(kMainWindowTitle, 15000);
        if (window.isEmpty()) ADD_FAILURE() << describeRun(*sim, box, *app);
        return window;
    }

    // "Normal", "Iconic" or "Withdrawn", as the window manager keeps the window.
    QString wmState(const QString& window) {
        const QString text =
            QString::fromLatin1(runOnDisplay(x, "xprop", {"-id", window, "WM_STATE"}));
        for (const char* state : {"Normal", "Iconic", "Withdrawn"})
            if (text.contains(QLatin1String("window state: ") + QLatin1String(state))) return state;
        return {};
    }
    bool becomes(const QString& window, const QString& state) {
        return eventually([&] { return wmState(window) == state; });
    }
    bool inView(const QString& window) {
        return eventually(
            [&] { return wmState(window) == "Normal" && !screenRect(x, window).isEmpty(); });
    }
    // Unmapped by the program, not minimised: the window manager drops its state.
    bool hidden(const QString& window) {
        return eventually([&] {
            const QString state = wmState(window);
            return (state.isEmpty() || state == "Withdrawn") && screenRect(x, window).isEmpty();
        });
    }
    void minimise(const QString& window) {
        x.xdotool({"windowminimize", window});
        ASSERT_TRUE(becomes(window, "Iconic")) << "the window manager minimises the window";
    }

    // The tray menu as it looks, with nothing highlighted; closed again.
    QImage trayMenuPicture() {
        const QString menu = openTrayMenu(x, icon);
        if (menu.isEmpty()) return {};
        x.xdotool({"mousemove", "0", "599"});
        const QImage picture = grabSettled(x, menu);
        EXPECT_TRUE(chooseFromMenu(x, menu, {"Escape"}));
        return picture;
    }
    // The menu's first item, "Open" or "Hide", chosen with the keys.
    void chooseFirstTrayItem() {
        const QString menu = openTrayMenu(x, icon);
        ASSERT_FALSE(menu.isEmpty()) << "a right click on the icon opens the menu";
        ASSERT_TRUE(chooseFromMenu(x, menu, {"Down", "Return"}));
    }

    XServer x;
    std::unique_ptr<WindowManager> wm;
    std::unique_ptr<TrayHost> tray;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    QString icon;
    int starts = 0;
};

TEST_F(WindowStateTest, AMinimisedWindowComesBackForACallerAndTheMenuSaysSo) {
    start();
    const QString window = call();
    ASSERT_FALSE(window.isEmpty()) << "a caller's number brings the window up";
    const QImage itemReadsHide = trayMenuPicture();
    chooseFirstTrayItem();
    ASSERT_TRUE(hidden(window)) << "Hide hides the window: " << wmState(window).toStdString();
    const QImage itemReadsOpen = trayMenuPicture();
    ASSERT_FALSE(itemReadsHide.isNull());
    ASSERT_NE(itemReadsHide, itemReadsOpen) << "the first item changes with the window";

    chooseFirstTrayItem();
    ASSERT_TRUE(inView(window)) << "Open shows it";
    minimise(window);
    EXPECT_EQ(trayMenuPicture(), itemReadsOpen) << "minimised, the item offers Open";
    chooseFirstTrayItem();
    EXPECT_TRUE(inView(window)) << "Open restores a minimised window";
    EXPECT_EQ(trayMenuPicture(), itemReadsHide);

    for (int caller = 1; caller <= 2; ++caller) {
        SCOPED_TRACE(caller);
        minimise(window);
        EXPECT_EQ(call(), window);
        EXPECT_TRUE(inView(window)) << "a caller brings the window back every time";
        EXPECT_EQ(trayMenuPicture(), itemReadsHide) << "and the item then reads Hide";
    }
    EXPECT_EQ(app->terminate(), 0);
}

TEST_F(WindowStateTest, AWindowClosedWhileMinimisedComesBackForTheNextRunsCaller) {
    start();
    QString window = call();
    ASSERT_FALSE(window.isEmpty());
    minimise(window);
    EXPECT_EQ(app->terminate(), 0) << "ended while minimised (a logout, say)";
    EXPECT_EQ(QSettings(box.iniPath(), QSettings::IniFormat).value("WinState/ShowCmd").toString(),
              "2")
        << "the placement was saved minimised";

    start();
    window = call();
    ASSERT_FALSE(window.isEmpty()) << "the caller's number is in view after the restart";
    EXPECT_TRUE(inView(window));
    EXPECT_EQ(app->terminate(), 0);
}

TEST_F(WindowStateTest, ACallerComesToTheFrontAndTheKeysStayWithTheUsersProgram) {
    box.setParam("StayOnTop", "0");
    start();
    // The user types into another program (xev: it prints the keys), over ours.
    QProcess other;
    other.setProcessEnvironment(displayEnvironment(x.display()));
    other.setStandardOutputFile(box.path("keys.txt"));
    other.start("xev", {"-geometry", "800x600+0+0", "-event", "keyboard"});
    const QString cover = x.findWindow("^Event Tester$", 10000);
    ASSERT_FALSE(cover.isEmpty());
    x.xdotool({"windowactivate", "--sync", cover});
    const auto focused = [this] { return x.xdotool({"getwindowfocus"}).trimmed(); };
    ASSERT_EQ(focused(), cover);
    // Bottom to top.
    const auto above = [this](const QString& upper, const QString& lower) {
        const QStringList order = clientStacking(x);
        return order.indexOf(hexId(upper)) > order.indexOf(hexId(lower)) &&
               order.contains(hexId(lower));
    };
    const auto stacking = [this] { return clientStacking(x).join(' ').toStdString(); };
    int keys = 0;
    const auto typedInto = [&] {
        QFile typed(box.path("keys.txt"));
        return typed.open(QIODevice::ReadOnly) && typed.readAll().count("KeyRelease") >= keys;
    };

    for (const char* from : {"hidden", "minimised"}) {
        SCOPED_TRACE(from);
        const QString window = call();
        ASSERT_FALSE(window.isEmpty());
        EXPECT_TRUE(eventually([&] { return above(window, cover); }))
            << "the caller's number comes to the front: " << stacking();
        EXPECT_EQ(focused(), cover) << "the keyboard stays with the user's program";
        // Typed on: the space bar would hand the call to the telephone set, p
        // would open the phone book.
        const qsizetype windows = visibleWindows(x, "^tarvik$").size();
        x.xdotool({"key", "--delay", "50", "space", "p", "space"});
        keys += 3;
        ASSERT_TRUE(eventually(typedInto)) << "the other program got the keys";
        EXPECT_EQ(sim->count("rx", "\\r"), 0) << "no key reached the program";
        EXPECT_EQ(visibleWindows(x, "^tarvik$").size(), windows) << "no phone book";
        minimise(window);
    }
    other.terminate();
    other.waitForFinished(3000);
    EXPECT_EQ(app->terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
