// Ordinary caller-ID modems: the caller comes in a block with the rings.
#include "sim_support.h"

#include <gtest/gtest.h>

#include <ctime>

namespace tarvik::modemsim::test {
namespace {

class Reported : public ::testing::Test {
protected:
    void set(std::string_view line) { ASSERT_TRUE(setup.sim->execute(line).ok) << line; }
    void command(std::string_view at, std::string_view reply) {
        port.write(std::string(at) + "\r\n");
        const std::string expected = "\r\n" + std::string(reply) + "\r\n";
        EXPECT_EQ(port.readUntil(expected), expected) << at;
    }
    void SetUp() override { set("echo off"); }

    SimulatorSetup setup;
    PortClient port{setup.sim->linkPath()};
};

// MMDD and HHMM filled in from the wall clock at `when`.
std::string withClock(std::string text, std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%m%d%H%M", &local);
    if (const auto at = text.find("MMDD"); at != std::string::npos) text.replace(at, 4, stamp, 4);
    if (const auto at = text.find("HHMM"); at != std::string::npos) text.replace(at, 4, stamp + 4);
    return text;
}

TEST_F(Reported, BlockFormsAndWhenTheyCome) {
    const std::string ring = "\r\nRING\r\n";
    struct Case {
        std::string_view kind, number, name;
        std::vector<std::string> pieces; // in order; the first two come gapMs apart
        std::pair<long long, long long> gapMs;
    };
    const std::vector<Case> cases = {
        {"spaced",
         "5551234567",
         "JOHN DOE",
         {ring, "\r\nDATE = MMDD\r\nTIME = HHMM\r\nNMBR = 5551234567\r\nNAME = JOHN DOE\r\n\r\n",
          ring},
         {400, 700}},
        {"compact",
         "PRIVATE",
         "none",
         {ring, "\r\nDATE=MMDD\r\nTIME=HHMM\r\nNMBR=PRIVATE\r\n\r\n", ring},
         {400, 700}},
        {"before-ring",
         "\"\"",
         "M\\xdcLLER",
         {"\r\nMESG = 110101\r\nDATE = MMDD\r\nTIME = HHMM\r\nNMBR = \r\nNAME = M\xdcLLER\r\n\r\n",
          ring, ring},
         {900, 1300}},
        {"none", "P", "none", {ring, ring}, {900, 1300}},
    };
    set("rings 2");
    set("gap 1s");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        set("cid-kind " + std::string(c.kind));
        set("number " + std::string(c.number));
        set("name " + std::string(c.name));
        command("AT+VCID=1", "OK");
        const std::time_t start = std::time(nullptr);
        setup.sim->call();
        std::vector<Clock::time_point> arrivals;
        for (const auto& piece : c.pieces) {
            const std::string got = port.readUntil(piece.substr(piece.size() - 4), 3s);
            arrivals.push_back(Clock::now());
            EXPECT_TRUE(got == withClock(piece, start) ||
                        got == withClock(piece, std::time(nullptr)))
                << got;
        }
        EXPECT_GE(msBetween(arrivals[0], arrivals[1]), c.gapMs.first);
        EXPECT_LE(msBetween(arrivals[0], arrivals[1]), c.gapMs.second);
        EXPECT_EQ(port.readFor(300ms), "");
    }
}

TEST_F(Reported, CallerIdIsSwitchedAndCanStop) {
    struct Step {
        std::string_view input, reply; // an AT command and its reply, or a setting
        std::optional<bool> block;     // on the next call; nothing: no call
    };
    const std::vector<Step> steps = {
        {"", "", false}, // off at power-on
        {"AT+VCID=1", "OK", true},
        {"AT+VCID=0", "OK", false},
        {"AT#CID=1", "OK", true},
        {"ATZ", "OK", false},
        {"AT+SR", "ERROR", false},
        {"ATM2+S64=1", "ERROR", false},
        {"reply AT+VCID=1 ERROR", "", {}},
        {"AT+VCID=1", "ERROR", false},
        {"cid-stops-after 2", "", {}},
        {"AT#CID=1", "OK", true},
        {"", "", true},
        {"", "", false},
        {"AT#CID=1", "OK", true},
    };
    set("cid-kind spaced");
    set("rings 2");
    set("gap 200ms");
    for (const auto& step : steps) {
        SCOPED_TRACE(step.input);
        if (step.input.starts_with("AT"))
            command(step.input, step.reply);
        else if (!step.input.empty())
            set(step.input);
        if (!step.block) continue;
        setup.sim->call({"5551234567"});
        const std::string got = port.readFor(400ms);
        EXPECT_EQ(got.find("NMBR = 5551234567") != std::string::npos, *step.block) << got;
        EXPECT_TRUE(got.ends_with("\r\nRING\r\n")) << "the rings go on regardless";
    }
}

TEST_F(Reported, SplitPauseHoldsTheRestOfTheNumberLine) {
    set("cid-kind compact");
    set("split-pause 300ms");
    set("rings 1");
    command("AT#CID=1", "OK");
    setup.sim->call({"5551234567"});
    EXPECT_TRUE(port.readUntil("NMBR=555").ends_with("\r\nNMBR=555"));
    const auto first = Clock::now();
    EXPECT_EQ(port.readFor(150ms), "");
    EXPECT_EQ(port.readUntil("\r\n\r\n"), "1234567\r\nNAME=JOHN DOE\r\n\r\n");
    EXPECT_GE(msBetween(first, Clock::now()), 250);
    EXPECT_LE(msBetween(first, Clock::now()), 600);
}

} // namespace
} // namespace tarvik::modemsim::test
