// The modem vanishes (its pseudo-terminal closes and its device goes, as a USB
// modem pulled out) while idle, in the middle of an incoming call and in the
// middle of a dial: the program neither crashes nor spins, its window keeps
// answering, it tells of the loss, and once the modem is back under the same
// name it opens the port again on its own, greets the modem and answers the next
// call. Runs on a private X server without a tray, where the main window shows
// at start.
#include "desktop_support.h"

#include "modem/modem_recovery.h"

#include <QThread>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

const QString kProgramClass = QStringLiteral("^tarvik$");
// A waiting program sleeps; a spinning one takes a whole core.
constexpr double kCalmCpuPercent = 15;

class ModemLoss : public ::testing::Test {
protected:
    void start(const QStringList& simArgs) {
        if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
        sim = std::make_unique<Simulator>(box, simArgs);
        app = std::make_unique<Tarvik>(box, x.clientEnvironment());
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 20s).kind, "rx");
        window = x.findWindow(kMainWindowTitle, 15000);
        ASSERT_FALSE(window.isEmpty()) << "without a tray the window shows at start";
        ASSERT_TRUE(eventually([this] { return box.logLines().size() == 1; }));
    }

    // A right click on the LED panel opens the popup menu; its window, or "" when
    // none came within `timeout`.
    QString openMenu(milliseconds timeout = kHangGuard) {
        // Within the double-click time of the last click this would be a double click,
        // which opens no menu.
        QThread::msleep(500);
        const QStringList before = visibleWindows(x, kProgramClass);
        const QRect frame = screenRect(x, window);
        x.xdotool({"mousemove", QString::number(frame.center().x()),
                   QString::number(frame.top() + frame.height() / 10), "click", "3"});
        const QString menu = waitForNewWindow(x, kProgramClass, before, timeout);
        if (!menu.isEmpty()) grabSettled(x, menu);
        return menu;
    }
    void type(const QStringList& keys) {
        x.xdotool({"windowfocus", "--sync", window});
        x.xdotool(QStringList{"key", "--delay", "100"} + keys);
    }

    // With the modem gone: alive, calm, and the window answers a click.
    void expectCalmAndResponsive(const char* when) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(app->running());
        const double cpu = cpuPercentOver(app->pid(), 3s);
        EXPECT_GE(cpu, 0);
        EXPECT_LT(cpu, kCalmCpuPercent);
        const QString menu = openMenu();
        ASSERT_FALSE(menu.isEmpty()) << "the popup menu opens";
        EXPECT_TRUE(chooseFromMenu(x, menu, {"Escape"}));
    }

    // Pulled out, and told in the log (the status and the port item too).
    void unplug() {
        sim->command("unplug");
        ASSERT_TRUE(eventually([this] { return box.logLines().contains(kModemLostLog); }));
    }

    // Back under the same name: the port opens again on its own, the modem is
    // greeted as at start, and a call after it is answered and logged.
    void expectBackOnItsOwn() {
        const int opens = sim->count("ev", "port opened");
        const int greetings = sim->count("rx", "ATM2+S64=1");
        sim->command("plug");
        ASSERT_FALSE(sim->waitFor("ev", "port opened", kHangGuard, opens + 1).kind.isEmpty())
            << "log: " << box.log().toStdString();
        ASSERT_FALSE(sim->waitFor("rx", "ATM2+S64=1", kHangGuard, greetings + 1).kind.isEmpty());
        ASSERT_TRUE(eventually([this] { return box.logLines().contains(kModemBackLog); }));
        EXPECT_FALSE(box.logLines().contains(kModemInitErrorLog)) << "the greeting was answered";
        EXPECT_TRUE(box.boxes().isEmpty()) << "nothing waits for a click";

        const qsizetype logged = box.logLines().size();
        sim->command("call 55512343");
        ASSERT_FALSE(
            sim->waitFor("rx", "AT+SR", 10s, sim->count("rx", "AT+SR") + 1).kind.isEmpty());
        ASSERT_TRUE(eventually([&] { return box.logLines().size() >= logged + 2; }));
        EXPECT_EQ(box.logLines()[logged], "CallerID: 55512343");
        EXPECT_EQ(app->terminate(), 0) << "SIGTERM is served\n" << describeRun(*sim, box, *app);
        EXPECT_EQ(box.param("Baud"), "9600") << "the settings were saved at the end";
    }

    XServer x;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    QString window;
};

TEST_F(ModemLoss, WhileIdle) {
    start({"--number", "12345678", "--rings", "1"});
    unplug();
    expectCalmAndResponsive("while the modem is away");
    expectBackOnItsOwn();
}

TEST_F(ModemLoss, InTheMiddleOfAnIncomingCall) {
    // A slow report, so the modem goes while the answer window is open.
    start({"--number", "12345678", "--rings", "1", "--answer-delay", "2s"});
    sim->command("call");
    ASSERT_EQ(sim->waitFor("rx", "AT+SR").kind, "rx");
    unplug();
    expectCalmAndResponsive("after the answer");
    EXPECT_EQ(box.logLines().first(), "") << "no caller-ID line came";
    expectBackOnItsOwn();
}

TEST_F(ModemLoss, InTheMiddleOfADial) {
    start({"--dial-delay", "3s"});
    type({"4", "2", "space"});
    ASSERT_EQ(sim->waitFor("rx", "ATDP42").kind, "rx");
    unplug();
    expectCalmAndResponsive("while the dial waits");
    // Talk ends the dial's wait; its result is the last line read: none.
    type({"space"});
    ASSERT_TRUE(eventually([this] { return box.logLines().contains("Outgoing call to \"42\":"); }));
    expectCalmAndResponsive("after the dial");
    expectBackOnItsOwn();
}

} // namespace
} // namespace tarvik::e2e
