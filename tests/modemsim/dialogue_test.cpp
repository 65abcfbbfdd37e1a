// The modem's side of the command dialogue, driven through the COMn link.
#include "sim_support.h"

#include <gtest/gtest.h>

namespace tarvik::modemsim::test {
namespace {

using Kind = Transcript::Kind;

class Dialogue : public ::testing::Test {
protected:
    ModemSimulator& sim() { return *setup.sim; }
    void echoOff() {
        port.write("ATE0\r\n");
        ASSERT_EQ(port.readUntil("\r\nOK\r\n"), "ATE0\r\r\nOK\r\n");
    }
    void set(std::string_view line) { ASSERT_TRUE(sim().execute(line).ok) << line; }

    SimulatorSetup setup;
    PortClient port{sim().linkPath()};
};

TEST_F(Dialogue, EchoesCommandsUntilAte0AndAgainAfterAte1) {
    port.write("AT\r");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "AT\r\r\nOK\r\n");
    echoOff();
    port.write("ATI\r\n");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(port.readFor(150ms), "");

    port.write("ate1\r");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "\r\nOK\r\n");
    // Byte by byte, as a modem echoes: the LF comes after the command ran.
    port.write("AT\r\n");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n\n"), "AT\r\r\nOK\r\n\n");
}

TEST_F(Dialogue, StartUpReadsAnEmptyLineThenOkForEachCommand) {
    // What TARVIK does at start: echo off, then the init string, two lines per command.
    port.write("ATE0\r\n");
    port.readUntil("OK\r\n");
    port.write("ATM2+S64=1\r\n");
    EXPECT_EQ(port.readLine(), "");
    EXPECT_EQ(port.readLine(), "OK");
    EXPECT_EQ(port.readFor(100ms), "");
}

TEST_F(Dialogue, ConfiguredRepliesReplaceOkForTheirCommandOnly) {
    echoOff();
    set("reply ATM2+S64=1 ERROR");
    port.write("atm2+s64=1\r\n");
    EXPECT_EQ(port.readUntil("\r\nERROR\r\n"), "\r\nERROR\r\n");
    port.write("ATZ\r\n");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "\r\nOK\r\n");

    set("reply ATM* none");
    set("reply ATM2+S64=1 default");
    port.write("ATM2+S64=1\r\n");
    EXPECT_EQ(port.readFor(300ms), "");

    set("reply clear");
    port.write("ATM2+S64=1\r\n");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "\r\nOK\r\n");
}

TEST_F(Dialogue, SilentModemSendsNothingAndTextIsNoCommand) {
    port.write("hello\r");
    EXPECT_EQ(port.readFor(200ms), "hello\r") << "echoed, never answered";

    set("silent on");
    sim().call({"12345678"});
    EXPECT_EQ(port.readUntil("RING\r\n"), "\r\nRING\r\n") << "the line still rings";
    port.write("AT\r\nAT+SR\r\nATDP1\r\n");
    EXPECT_EQ(port.readFor(400ms), "");

    set("silent off");
    port.write("AT\r");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "AT\r\r\nOK\r\n");
}

TEST_F(Dialogue, AnswerStringBringsTheCallerIdReportThenOk) {
    echoOff();
    set("rings 1");
    sim().call({"12345678"});
    port.readUntil("RING\r\n");
    port.write("AT+SR\r\n");
    const auto sent = Clock::now();
    EXPECT_EQ(port.readLine(), "");
    EXPECT_EQ(port.readLine(), "CallerID: 12345678");
    const auto reported = Clock::now();
    EXPECT_EQ(port.readLine(), "");
    EXPECT_EQ(port.readLine(), "OK");
    EXPECT_GE(msBetween(sent, reported), 40); // answerDelay is 50ms
    EXPECT_LE(msBetween(sent, reported), 400);
    EXPECT_TRUE(sim().state().held);
}

TEST_F(Dialogue, ReportFollowsTheSettings) {
    struct Case {
        std::vector<std::string_view> commands;
        std::string answer;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"number 111,222"}, "AT+SR", "\r\nCallerID: 111\r\n\r\nCallerID: 222\r\n\r\nOK\r\n"},
        {{"number 5551234?", "callerid-lines 2"},
         "AT+SR",
         "\r\nCallerID: 5551234?\r\n\r\nCallerID: 5551234?\r\n\r\nOK\r\n"},
        {{"number 12345678", "callerid-lines 0"}, "AT+SR", "\r\nOK\r\n"},
        {{"number unknown", "answer-final ok"}, "AT+SR", "\r\nCallerID: Unknown\r\n\r\nok\r\n"},
        {{"number 12345678", "answer-final none"}, "at+sr", "\r\nCallerID: 12345678\r\n"},
        {{"number 7654321", "answer-string AT+CID"},
         "AT+CID",
         "\r\nCallerID: 7654321\r\n\r\nOK\r\n"},
        {{"answer-string AT+CID"}, "AT+SR", "\r\nOK\r\n"},
    };
    echoOff();
    set("rings 1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        for (auto command : c.commands)
            set(command);
        sim().call();
        port.readUntil("RING\r\n");
        port.write(c.answer + "\r\n");
        const std::string report = port.readUntil(c.expected);
        EXPECT_EQ(report, c.expected);
        EXPECT_EQ(port.readFor(200ms), "") << "nothing after the report";
        set("answer-string AT+SR");
        set("answer-final OK");
        set("callerid-lines all");
    }
}

TEST_F(Dialogue, AnswerEndsTheRinging) {
    echoOff();
    set("rings 6");
    set("gap 150ms");
    sim().call({"12345678"});
    port.readUntil("RING\r\n");
    port.write("AT+SR\r\n");
    const std::string rest = port.readFor(900ms);
    EXPECT_EQ(rest.substr(rest.find("\r\nCallerID:")), "\r\nCallerID: 12345678\r\n\r\nOK\r\n");
    EXPECT_FALSE(sim().state().ringing);
}

class DialResults : public Dialogue, public ::testing::WithParamInterface<std::string> {};

TEST_P(DialResults, ComeAfterTheDialDelay) {
    echoOff();
    set("dial-result " + GetParam());
    set("dial-delay 200ms");
    port.write("ATDP5551234\r\n");
    const auto sent = Clock::now();
    EXPECT_EQ(port.readFor(120ms), "");
    const std::string expected = "\r\n" + GetParam() + "\r\n";
    EXPECT_EQ(port.readUntil(expected), expected);
    EXPECT_GE(msBetween(sent, Clock::now()), 180);
    EXPECT_LE(msBetween(sent, Clock::now()), 700);
    EXPECT_TRUE(sim().transcript().waitFor(Kind::Event, "dial 5551234 (pulse)", 0ms));
    EXPECT_EQ(sim().state().held, GetParam() == "OK") << "a failed dial puts the line down";
}

INSTANTIATE_TEST_SUITE_P(FinalReplies, DialResults,
                         ::testing::Values("OK", "NOCARRIER", "ERROR", "BUSY", "NO DIAL"));

TEST_F(Dialogue, LoneCrIsTheHandOverOnlyWhileTheLineIsHeld) {
    echoOff();
    port.write("\r");
    EXPECT_EQ(port.readFor(150ms), "");
    EXPECT_EQ(sim().state().handovers, 0);

    sim().call({"12345678"});
    port.write("AT+SR\r\n");
    port.readUntil("OK\r\n");
    port.write("\r");
    EXPECT_TRUE(sim().transcript().waitFor(Kind::Event, "handover", 1s));
    EXPECT_FALSE(sim().state().held);
}

TEST_F(Dialogue, SilentDialWaitsForTheHandOverWhichAbortsIt) {
    echoOff();
    set("dial-result none");
    port.write("ATDT123\r\n");
    EXPECT_EQ(port.readFor(300ms), "");
    EXPECT_TRUE(sim().state().held);

    set("dial-result BUSY");
    set("dial-delay 300ms");
    port.write("ATDP9\r\n");
    port.write("\r"); // Talk before the result
    EXPECT_TRUE(sim().transcript().waitFor(Kind::Event, "handover", 1s));
    EXPECT_EQ(port.readFor(600ms), "");
}

TEST_F(Dialogue, CommandLanguageRejectsWhatItCannotDo) {
    for (const auto line : {"bogus", "rings many", "ring now", "send", "gap 300", "every 10ms",
                            "dial-result", "reply hello", "call ,"}) {
        const CommandOutcome outcome = sim().execute(line);
        EXPECT_FALSE(outcome.ok) << line;
        EXPECT_FALSE(outcome.message.empty()) << line;
    }
    EXPECT_TRUE(sim().execute("# a comment").ok);
    EXPECT_TRUE(sim().execute("dial-result NO DIAL").ok);
    EXPECT_EQ(sim().settings().dialResult, "NO DIAL");
    const auto wait = sim().execute("wait 1.5s");
    EXPECT_EQ(wait.control, CommandOutcome::Control::Wait);
    EXPECT_EQ(wait.wait, 1500ms);
    EXPECT_EQ(sim().execute("quit").control, CommandOutcome::Control::Quit);
}

} // namespace
} // namespace tarvik::modemsim::test
