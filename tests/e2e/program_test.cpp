#include "e2e_support.h"

#include "modem/number_display.h"

#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace tarvik::e2e {
namespace {

constexpr const char* kStartError = "Error at init Modem or Open COM-Port";

bool isAnswer(const TranscriptEntry& e) {
    return e.kind == "rx" && e.text.startsWith("AT+SR");
}

// Both started; returns once the modem has been initialised. Calls need the
// line's engine only, so the call tests run the service, which has no widget.
struct Running {
    Running(QStringList simArgs, std::function<void(Sandbox&)> setUp = {},
            Program program = Program::Desktop) {
        if (setUp) setUp(box);
        sim = std::make_unique<Simulator>(box, simArgs);
        app = startProgram(program, box);
        initialised = sim->waitFor("rx", "ATM2+S64=1", 10s).kind == "rx";
        eventually([this] { return box.logLines().size() >= 1; }, 5s);
    }
    // A call once the program has started, so that no ring meets the start-up dialogue.
    void call() { sim->command("call"); }
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool initialised = false;
};

TEST(Startup, AModemThatAnswersOkGivesOneStartLineAndNoBox) {
    Running run({});
    ASSERT_TRUE(run.initialised);
    const auto rx = run.sim->waitFor("rx", "ATE0");
    EXPECT_EQ(rx.text, "ATE0\\r\\n");
    // Ended, it can add nothing more; its close writes no line and shows no box.
    EXPECT_EQ(run.app->terminate(), 0);
    EXPECT_EQ(run.box.logLines(), QList<QByteArray>{""});
    EXPECT_TRUE(run.box.log().endsWith(" \r\n")) << "date, time and one blank";
    EXPECT_TRUE(run.box.boxes().isEmpty());
    EXPECT_EQ(run.box.param("Baud"), "9600") << "the settings were saved at the end";
}

TEST(Startup, WithoutAModemOneErrorLinePrecedesTheStartLine) {
    Sandbox box;
    Tarvik app(box);
    ASSERT_TRUE(eventually([&box] { return box.logLines().size() >= 3; }, 10s));
    EXPECT_EQ(box.logLines().mid(1), (QList<QByteArray>{kStartError, ""}));
    EXPECT_TRUE(box.logLines()[0].startsWith("COM2 (/dev/ttyS1): ")) << "the device and why";
    EXPECT_EQ(box.boxes(), QStringList{"Error\tat Init modem or Open COM-Port!"});
    EXPECT_TRUE(app.running());
    EXPECT_EQ(app.terminate(), 0);
}

TEST(Startup, TheModemCategoryPrintsEveryLineSentAndReceived) {
    Sandbox box;
    Simulator sim(box, {});
    Tarvik app(box, modemTrace());
    ASSERT_EQ(sim.waitFor("rx", "ATM2+S64=1", 10s).kind, "rx");
    ASSERT_TRUE(eventually([&app] { return app.output().contains("<- \"OK\""); }, 5s));
    const QByteArray output = app.output();
    const qsizetype echoOff = output.indexOf(R"(tarvik.modem: -> "ATE0\r\n")");
    EXPECT_TRUE(echoOff >= 0 && echoOff < output.indexOf(R"(tarvik.modem: -> "ATM2+S64=1\r\n")"))
        << output.toStdString();
    EXPECT_TRUE(output.contains(R"(tarvik.modem: <- "OK")")) << output.toStdString();
}

TEST(Startup, ASilentModemIsAFailedStartToo) {
    Running run({"--silent"});
    ASSERT_TRUE(run.initialised);
    ASSERT_TRUE(eventually([&run] { return run.box.logLines().size() >= 2; }, 10s));
    EXPECT_EQ(run.box.logLines(), (QList<QByteArray>{kStartError, ""}));
}

TEST(Startup, ASecondCopyIsRefusedAndTheFirstGoesOn) {
    Running run({});
    ASSERT_TRUE(run.initialised);
    Tarvik second(run.box);
    EXPECT_EQ(second.waitForExit(10s), 0);
    EXPECT_EQ(run.box.boxes(), QStringList{"Error\tA One Copy of TARVIK is runing now."});
    EXPECT_EQ(run.box.logLines().size(), 1) << "the second copy writes no log";
    EXPECT_TRUE(run.app->running());
    EXPECT_EQ(run.sim->count("rx", "ATE0"), 1) << "the second copy never touched the port";
}

TEST(IncomingCall, OneRingIsAnsweredAfterTheRingGapAndTheCallerIsLogged) {
    Running run({"--number", "12345678", "--rings", "1"}, {}, Program::Service);
    ASSERT_TRUE(run.initialised);
    run.call();
    const auto ring = run.sim->waitFor("tx", "RING");
    const auto answer = run.sim->waitFor(isAnswer);
    ASSERT_EQ(answer.kind, "rx");
    EXPECT_EQ(answer.text, "AT+SR\\r\\n");
    // One line budget after the ring, plus the purge pause; a loaded machine adds to it.
    EXPECT_GE(answer.ms - ring.ms, 550);
    EXPECT_LE(answer.ms - ring.ms, 1500);
    ASSERT_TRUE(eventually([&run] { return run.box.logLines().size() >= 3; }));
    const auto lines = run.box.logLines();
    EXPECT_EQ(lines[1], "CallerID: 12345678");
    EXPECT_EQ(lines[2], CallerCategories()[8]) << "the category text in Windows-1251";
}

TEST(IncomingCall, RingsCloseTogetherAreCountedToTheAnswerRing) {
    Running run(
        {"--number", "55512343", "--rings", "3", "--gap", "300ms"},
        [](Sandbox& box) { box.setParam("AnswerOnRing", "3"); }, Program::Service);
    ASSERT_TRUE(run.initialised);
    run.call();
    const auto third = run.sim->waitFor("tx", "RING", 10s, 3);
    const auto answer = run.sim->waitFor(isAnswer);
    ASSERT_EQ(answer.kind, "rx");
    EXPECT_GT(answer.ms, third.ms);
    EXPECT_LT(answer.ms - third.ms, 1500);
}

TEST(IncomingCall, RingsFarApartAreAnsweredOnTheFirst) {
    Running run(
        {"--number", "55512343", "--rings", "3", "--gap", "5s"},
        [](Sandbox& box) { box.setParam("AnswerOnRing", "3"); }, Program::Service);
    ASSERT_TRUE(run.initialised);
    run.call();
    const auto first = run.sim->waitFor("tx", "RING");
    const auto answer = run.sim->waitFor(isAnswer);
    ASSERT_EQ(answer.kind, "rx");
    EXPECT_GE(answer.ms - first.ms, 550);
    EXPECT_LT(answer.ms - first.ms, 4000) << "before the second ring";
}

TEST(IncomingCall, AnswerOnRingZeroLogsEachRingAndSendsNothing) {
    Running run(
        {"--number", "12345678", "--rings", "3", "--gap", "2s"},
        [](Sandbox& box) { box.setParam("AnswerOnRing", "0"); }, Program::Service);
    ASSERT_TRUE(run.initialised);
    run.call();
    run.sim->waitFor("tx", "RING", 10s, 3);
    // A fourth ring, logged once the call's three have been served.
    run.sim->command("ring");
    ASSERT_TRUE(eventually([&run] { return run.box.logLines().size() >= 5; }, 5s));
    EXPECT_EQ(run.box.logLines(),
              QList<QByteArray>{""} + QList<QByteArray>(4, "Incoming call, ignored."));
    const auto all = run.sim->transcript();
    EXPECT_FALSE(std::any_of(all.begin(), all.end(), isAnswer));
}

TEST(IncomingCall, LowerCaseOkKeepsTheAnswerWindowOpen) {
    Running run({"--number", "12345678", "--rings", "1", "--answer-final", "ok"}, {},
                Program::Service);
    ASSERT_TRUE(run.initialised);
    run.call();
    const auto answer = run.sim->waitFor(isAnswer);
    ASSERT_EQ(answer.kind, "rx");
    // A ring inside the 3 s window is read and dropped by the answer; one after it is
    // a new call. The pauses place the rings.
    QThread::msleep(1200);
    run.sim->command("send RING");
    QThread::msleep(3000);
    run.sim->command("send RING");
    const auto again = run.sim->waitFor(isAnswer, 5s, 2);
    EXPECT_EQ(again.kind, "rx");
    EXPECT_GT(again.ms, run.sim->waitFor("tx", "RING", 0ms, 3).ms) << "the first ring was dropped";
    const auto lines = run.box.logLines();
    EXPECT_EQ(lines.count("CallerID: 12345678"), 1);
}

TEST(Shutdown, SigtermRunsTheNormalClose) {
    Running run({}, [](Sandbox& box) { box.setParam("LastDialNum", "4321"); });
    ASSERT_TRUE(run.initialised);
    EXPECT_EQ(run.app->terminate(), 0);
    EXPECT_EQ(run.box.param("LastDialNum"), "4321");
    EXPECT_EQ(run.box.param("InitStr"), "ATM2+S64=1");
}

// A close asked for while the start-up waits for a silent modem ends the
// program after the normal close, without carrying on with the start-up.
TEST(Shutdown, ASignalDuringTheStartUpEndsTheProgramAfterTheNormalClose) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        Sandbox box;
        box.setParam("LastDialNum", "4321");
        Simulator sim(box, {"--silent"});
        Tarvik app(box);
        ASSERT_EQ(sim.waitFor("rx", "ATE0").kind, "rx");
        ASSERT_EQ(::kill(static_cast<pid_t>(app.pid()), signal), 0);
        EXPECT_EQ(app.waitForExit(kHangGuard), 0);
        EXPECT_EQ(sim.count("rx", "ATM2+S64=1"), 0) << "the start-up went on";
        EXPECT_TRUE(box.boxes().isEmpty());
        EXPECT_TRUE(box.logLines().isEmpty());
        EXPECT_EQ(box.param("LastDialNum"), "4321") << "the settings were saved";
        EXPECT_EQ(box.param("InitStr"), "ATM2+S64=1");
    }
}

} // namespace
} // namespace tarvik::e2e
