// Modems that report the caller with the rings: the line rules, and the calls
// on a fake clock.
#include "call_bench.h"

#include "modem/dialogue.h"
#include "modem/number_display.h"
#include "modem/reported_calls.h"
#include "platform/errors.h"
#include "store/settings.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using testing::FakeMainView;
using testing::FakeSound;
using testing::RecordingEvents;
using testing::RecordingView;
using testing::ScriptedModem;

// How one line reads: a ring, a caller-ID line (tag: value, the number as the
// display and as NCID clients take it), or nothing.
QByteArray reading(const QByteArray& line) {
    if (isRingLine(line)) return "ring";
    const auto report = parseCallerReportLine(line);
    if (!report) return "-";
    static const char* const tags[] = {"number", "other number", "name", "other"};
    QByteArray r = tags[static_cast<int>(report->tag)] + QByteArray(": ") + report->value;
    if (report->tag == CallerReportLine::Tag::Number ||
        report->tag == CallerReportLine::Tag::OtherNumber)
        r += " [" + reportedDigits(report->value) + "|" + ncidReportedNumber(report->value) + "]";
    return r;
}

TEST(ReportedLines, RingsCallerIdLinesAndWhatIsNeither) {
    const QList<QPair<QByteArray, QByteArray>> table = {
        {"RING", "ring"},
        {"RING A", "ring"},
        {"RING 12", "ring"},
        {"RINGING", "-"},
        {"RING 123", "-"},
        {"RING  ", "-"},
        {" RING", "-"},
        {"NAME = SPRINGFIELD RING", "name: SPRINGFIELD RING"},
        {"NMBR = 5551234567", "number: 5551234567 [5551234567|5551234567]"},
        {"NMBR=5551234567", "number: 5551234567 [5551234567|5551234567]"},
        {"NMBR =  +1 (555) 123-4567 ", "number: +1 (555) 123-4567 [15551234567|+1555123-4567]"},
        {"NMBR = 0163", "number: 0163 [0163|0163]"},
        {"DDN_NMBR= 5551234", "other number: 5551234 [5551234|5551234]"},
        {"DDN = 12", "other number: 12 [12|12]"},
        {"NBR=12", "other number: 12 [12|12]"},
        {"NMBR = P", "number: P [|PRIVATE]"},
        {"NMBR = PRIVATE", "number: PRIVATE [|PRIVATE]"},
        {"NMBR = Restricted", "number: Restricted [|PRIVATE]"},
        {"NMBR = O", "number: O [|OUT-OF-AREA]"},
        {"NMBR = Unavailable", "number: Unavailable [|OUT-OF-AREA]"},
        {"NMBR = A", "number: A [|ANONYMOUS]"},
        {"NMBR = ANONYMOUS", "number: ANONYMOUS [|ANONYMOUS]"},
        {"NMBR = 0000000000", "number: 0000000000 [|]"},
        {"NMBR =", "number:  [|]"},
        {"NAME = M\xc3\x9cLLER", "name: M\xc3\x9cLLER"},
        {"DATE = 1208", "other: 1208"},
        {"TIME=", "other: "},
        {"MESG = 110101", "other: 110101"},
        {"nmbr = 5551234", "-"},
        {"NUMBER = 5551234", "-"},
        {"CallerID: 12345678", "-"},
        {"OK", "-"},
    };
    for (const auto& [line, expected] : table)
        EXPECT_EQ(reading(line), expected) << line.toStdString();
    EXPECT_EQ(reportedNameText("M\xc3\x9cLLER"), QStringLiteral("M\u00dcLLER"));
    EXPECT_EQ(reportedNameText("M\xdcLLER"), QStringLiteral("M\u00dcLLER"));
}

struct Arrival {
    std::uint32_t atMs;
    QByteArray bytes;
};

struct Scenario {
    const char* name;
    QList<Arrival> script;
    QList<QByteArray> log;
    QList<QByteArray> told;
    QByteArray shown; // the display text, or nothing when it stays dark
    int answerOnRing = 1;
    int greetings = 0;
};

void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

const QByteArray kBlock = "\r\nDATE = 1208\r\nTIME = 1706\r\nNMBR = 5551234567\r\nNAME = JOHN "
                          "DOE\r\n\r\n";
const QByteArray kRing = "\r\nRING\r\n";
const QByteArray kCaller = "caller 5551234567 JOHN DOE";
const QList<QByteArray> kCallerLog = {"NMBR = 5551234567", "NAME = JOHN DOE"};

class ReportedCallsFixture : public ::testing::Test, protected testing::CallBench {
protected:
    ReportedCallsFixture() {
        settings.AnswerOnRing = 1;
        settings.DigCol = 7;
        settings.CidMode = kCidWithRings;
        settings.CidInitStr = kCidInitStrDefault;
        settings.AnswerStr = "AT+SR";
    }
    // Runs the program's polls (of `on`, or of `calls`) every 10 ms of the fake clock.
    void runFor(std::uint32_t ms, ReportedCalls* on = nullptr) {
        for (const std::uint32_t end = modem.now + ms; modem.now != end; modem.now += 10)
            (on ? *on : calls).poll();
    }

    int greetings = 0;
    ReportedCalls calls{context, sound, [this] { return ++greetings > 0; }};
};

class ReportedCallsTest : public ReportedCallsFixture,
                          public ::testing::WithParamInterface<Scenario> {
protected:
    ReportedCallsTest() { settings.AnswerOnRing = GetParam().answerOnRing; }
};

TEST_P(ReportedCallsTest, OneCallerPerCallShownLoggedAndTold) {
    const Scenario& s = GetParam();
    for (const Arrival& a : s.script)
        modem.arrive(a.atMs, a.bytes);
    runFor(s.script.last().atMs + ReportedCalls::kCallEndMs + 100);

    EXPECT_EQ(log, s.log);
    EXPECT_EQ(events.told, s.told);
    FakeMainView expected;
    if (!s.shown.isEmpty()) ShowOnLeds(expected.leds(), s.shown);
    EXPECT_EQ(view.shown(), expected.shown()) << "shown: " << s.shown.toStdString();
    EXPECT_EQ(greetings, s.greetings);
    EXPECT_FALSE(view.mainState.InCall);
    EXPECT_FALSE(modem.sentBytes().contains("AT+SR")) << "never answers";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ReportedCallsTest,
    ::testing::Values(
        Scenario{"BetweenTheRings",
                 {{0, kRing}, {500, kBlock}, {6000, kRing}},
                 kCallerLog,
                 {"ring 1", kCaller, "ring 2"},
                 "o 1234567"},
        Scenario{"BeforeTheFirstRingWithoutAName",
                 {{0, "MESG = 110101\r\nDATE = 1208\r\nTIME = 1706\r\nNMBR = 01632960123\r\n"},
                  {1500, "RING\r\n"}},
                 {"NMBR = 01632960123"},
                 {"caller 01632960123", "ring 1"},
                 "o 2960123"},
        Scenario{"AfterTheSecondRing",
                 {{0, kRing}, {6000, kRing}, {6400, "NMBR=0123\r\n"}, {12000, kRing}},
                 {"NMBR=0123"},
                 {"ring 1", "ring 2", "caller 0123", "ring 3"},
                 "o    0123"},
        Scenario{"NoneAndTheModemIsSetUpAgain",
                 {{0, kRing}, {6000, kRing}},
                 {kNoCallerIdText, "No caller ID on a call that rang: the modem is set up again."},
                 {"ring 1", "ring 2"},
                 {},
                 1,
                 1},
        Scenario{"NmbrWinsAndAWithheldOneReplacesNoNumber",
                 {{0, kRing},
                  {400, "DDN_NMBR = 111\r\nNMBR = O\r\nNMBR = 5551234\r\nNMBR = 999\r\nNMBR = "
                        "P\r\n"}},
                 {"NMBR = 5551234"},
                 {"ring 1", "caller 5551234"},
                 "o 5551234"},
        Scenario{"Withheld",
                 {{0, kRing}, {400, "NMBR = P\r\nNAME = \r\n"}},
                 {"NMBR = P", "NAME = "},
                 {"ring 1", "caller PRIVATE"},
                 "n -------"},
        Scenario{"TwoCallsTenSecondsApart",
                 {{0, kRing}, {500, kBlock}, {10000, kRing}, {10500, "NMBR = 42\r\n"}},
                 {"NMBR = 5551234567", "NAME = JOHN DOE", "NMBR = 42"},
                 {"ring 1", kCaller, "ring 1", "caller 42"},
                 "o      42"},
        Scenario{
            "AGarbageBurstIsNoCall",
            {{0, "xx\x01RINGING\r\nSPRINGFIELD RING\r\n=\r\nNMBRX=5\r\n\x7f\xff RING\r\nOK\r\n"}},
            {},
            {},
            {}},
        Scenario{"GarbageAroundABlockGivesOneCaller",
                 {{0, kRing}, {300, "\x01\x02zz\r\n" + kBlock + "##\r\nNMBR = 777\r\n" + kBlock}},
                 kCallerLog,
                 {"ring 1", kCaller},
                 "o 1234567"},
        Scenario{"IgnoredOncePerCall",
                 {{0, kRing}, {500, kBlock}, {6000, kRing}},
                 {"Incoming call, ignored."},
                 {"ring ignored", "ring ignored"},
                 {},
                 0},
        Scenario{"ALineSplitByAPause",
                 {{0, kRing}, {300, "NMBR = 555"}, {1100, "1234567\r\nNAME = JOHN DOE\r\n"}},
                 kCallerLog,
                 {"ring 1", kCaller},
                 "o 1234567"}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST_F(ReportedCallsFixture, TheCallerIsCompleteHalfASecondAfterItsLastLineAndCallerIdKeptOn) {
    settings.SoundFile = "/sounds/ring.wav";
    modem.arrive(0, kRing + kBlock);
    runFor(490);
    EXPECT_EQ(events.told, QList<QByteArray>({"ring 1"})) << "not yet complete";
    EXPECT_EQ(sound.events, QStringList({"beep", "play:/sounds/ring.wav"}));
    runFor(30);
    EXPECT_EQ(events.told.value(1), kCaller);
    EXPECT_EQ(view.notices, QList<QByteArray>{"Incoming call: 5551234567 JOHN DOE"});
    EXPECT_EQ(view.status, view.notices.value(0));
    EXPECT_EQ(calls.dueIn(), ReportedCalls::kCallEndMs - 520) << "no poll is due before the end";
    runFor(ReportedCalls::kCallEndMs);
    EXPECT_EQ(modem.sentBytes(), "AT+VCID=1\r\n") << "caller ID switched on again after the call";
}

TEST_F(ReportedCallsFixture, AFailingLogIsToldOnceEverythingReadIsHandled) {
    logFails = true;
    // The second ring completes the caller, whose log fails; the third must still count.
    modem.arrive(0, kRing + "NMBR = 5551234\r\n" + kRing + kRing);
    EXPECT_THROW(calls.poll(), TarvikError);
    EXPECT_EQ(events.told, (QList<QByteArray>{"ring 1", "caller 5551234", "ring 2", "ring 3"}));
    EXPECT_EQ(view.status, "Incoming call: 5551234") << "the caller is shown all the same";
}

TEST_F(ReportedCallsFixture, AModemThatStopsAnsweringIsToldAndSetUpAgainWhenItIsBack) {
    bool answers = false;
    modem.onWrite = [&](const QByteArray& text) {
        if (text == "AT\r\n" && answers) modem.arrive(20, "\r\nOK\r\n");
    };
    const auto probes = [&] { return modem.sentBytes().count("AT\r\n"); };
    runFor(ReportedCalls::kProbeEveryMs + 2500);
    EXPECT_EQ(probes(), 1);
    EXPECT_TRUE(log.isEmpty()) << "one miss is not yet told";
    runFor(ReportedCalls::kProbeEveryMs);
    EXPECT_EQ(probes(), 2);
    EXPECT_EQ(log, QList<QByteArray>({kModemSilentText}));
    EXPECT_EQ(view.status, kModemSilentText);
    answers = true;
    runFor(ReportedCalls::kProbeEveryMs);
    EXPECT_EQ(greetings, 1);
    EXPECT_EQ(log.value(1), "Modem answering again: it is set up again.");
    EXPECT_EQ(view.status, "Waiting for a call...");
}

TEST_F(ReportedCallsFixture, ARefusedDefaultIsFollowedByTheRockwellCommandOnce) {
    for (const bool rockwellAnswers : {true, false}) {
        log.clear();
        modem.sent.clear();
        modem.onWrite = [&](const QByteArray& text) {
            const bool ok = text == "AT#CID=1\r\n" && rockwellAnswers;
            modem.arrive(30, ok ? "\r\nOK\r\n" : "\r\nERROR\r\n");
        };
        EXPECT_EQ(calls.switchCallerIdOn(), rockwellAnswers);
        EXPECT_EQ(modem.sentBytes(), "AT+VCID=1\r\nAT#CID=1\r\n");
        EXPECT_EQ(log.value(0), R"(Caller ID not switched on: "AT+VCID=1" answered "ERROR")");
        EXPECT_EQ(log.value(1), rockwellAnswers
                                    ? R"(Caller ID switched on with "AT#CID=1")"
                                    : R"(Caller ID not switched on: "AT#CID=1" answered "ERROR")");
    }
    settings.CidInitStr = "AT+VCID=2";
    modem.sent.clear();
    EXPECT_FALSE(calls.switchCallerIdOn());
    EXPECT_EQ(modem.sentBytes(), "AT+VCID=2\r\n") << "a command of the user's own is not replaced";
}

TEST_F(ReportedCallsFixture, ACallerTheScreenRejectsIsHungUpOnceNotShownAndToldAsAHangUp) {
    const testing::FakeScreen book;
    context.screen = &book;
    ReportedCalls screened{context, sound, [] { return true; }};
    const struct {
        QByteArray block;
        bool onHookAnswered;
        QByteArray logged;
    } rows[] = {{kBlock, true, "Hung up: 5551234567 BAD GUY"},
                {kBlock, false, "Hung up: 5551234567 BAD GUY"},
                {"NMBR = P\r\n", true, "Hung up: PRIVATE"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged.toStdString() + (row.onHookAnswered ? "" : ", ATH0 unanswered"));
        log.clear(), events.told.clear(), view.notices.clear(), modem.sent.clear();
        const std::uint32_t start = modem.now;
        int onHooks = 0;
        modem.onWrite = [&](const QByteArray& text) {
            if (text != "ATH0\r\n" || ++onHooks > 1 || row.onHookAnswered)
                modem.arrive(20, "\r\nOK\r\n");
        };
        modem.arrive(0, kRing + row.block);
        runFor(ReportedCalls::kCallEndMs + 1000, &screened);
        // From the caller's last line, within the poll's 10 ms step.
        const std::uint32_t onHook = 500 + HangUpSequence::kHoldMs;
        QList<std::pair<QByteArray, std::uint32_t>> due = {{"ATH1", 500}, {"ATH0", onHook}}, sent;
        if (!row.onHookAnswered)
            due += {{"AT", onHook + HangUpSequence::kAnswerMs},
                    {"ATH0", onHook + HangUpSequence::kAnswerMs + 20}};
        for (const ScriptedModem::Sent& s : modem.sent)
            if (s.bytes.startsWith("ATH") || s.bytes == "AT\r\n")
                sent.append({s.bytes.trimmed(), s.at - start});
        ASSERT_EQ(sent.size(), due.size()) << modem.sentBytes().toStdString();
        for (qsizetype i = 0; i < due.size(); ++i) {
            EXPECT_EQ(sent[i].first, due[i].first);
            EXPECT_NEAR(sent[i].second, due[i].second, 20) << due[i].first.toStdString();
        }
        EXPECT_EQ(log, QList<QByteArray>{row.logged}) << "the modem's lines are not logged";
        EXPECT_EQ(events.told, (QList<QByteArray>{"ring 1", "hung up " + row.logged.mid(9)}));
        EXPECT_TRUE(view.notices.isEmpty()) << "never shown";
        EXPECT_TRUE(view.mainState.CallerNumber.isEmpty());
    }

    // A caller in the book that is not BAD: its name first, the modem's lines logged.
    log.clear(), events.told.clear();
    modem.onWrite = {};
    modem.arrive(0, kRing + "NMBR = 5559999999\r\nNAME = W SMITH\r\n");
    runFor(600, &screened);
    EXPECT_EQ(log, (QList<QByteArray>{"NMBR = 5559999999", "NAME = W SMITH"}));
    EXPECT_EQ(events.told.value(1), "caller 5559999999 GRANNY");
    EXPECT_EQ(view.notices, QList<QByteArray>{"Incoming call: 5559999999 GRANNY"});
    EXPECT_EQ(view.mainState.CallerNumber, "5559999999");
}

} // namespace
} // namespace tarvik
