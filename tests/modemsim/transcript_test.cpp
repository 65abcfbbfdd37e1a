// The transcript: what it records, its times, its file, and the text forms it relies on.
#include "sim_support.h"

#include "modemsim/cli.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarvik::modemsim::test {
namespace {

using Kind = Transcript::Kind;

std::int64_t monotonicMs(Clock::time_point t) {
    return std::chrono::duration_cast<milliseconds>(t.time_since_epoch()).count();
}

TEST(TranscriptRecords, WhatTheProgramSentAndTheModemAnsweredWithTimes) {
    TempDir dir;
    SimulatorConfig config = SimulatorSetup::quickConfig();
    config.transcriptPath = dir.path() + "/transcript.tsv";
    SimulatorSetup setup(config);
    ModemSimulator& sim = *setup.sim;
    PortClient port(sim.linkPath());

    const auto before = Clock::now();
    port.write("ATE0\r\n");
    port.readUntil("OK\r\n");
    const auto after = Clock::now();
    port.write("AT");
    port.write("DP12\r\n");
    port.readUntil("OK\r\n");
    port.write("\r");
    ASSERT_TRUE(sim.transcript().waitFor(Kind::Received, "\r", 1s));

    const auto entries = sim.transcript().entries();
    const auto command = sim.transcript().waitFor(Kind::Received, "ATE0\r\n", 0ms);
    ASSERT_TRUE(command);
    EXPECT_GE(command->monotonicMs, monotonicMs(before) - 1);
    EXPECT_LE(command->monotonicMs, monotonicMs(after) + 1);
    EXPECT_NEAR(command->ms, command->monotonicMs - monotonicMs(sim.transcript().start()), 1);

    // The command comes before the modem's answer to it.
    const auto echo = sim.transcript().waitFor(Kind::Echo, "ATE0\r", 0ms, command->index);
    const auto ok = sim.transcript().waitFor(Kind::Sent, "OK", 0ms, command->index);
    ASSERT_TRUE(echo && ok);
    EXPECT_LT(echo->index, ok->index);

    // Bytes written in two goes within a moment make one entry.
    const auto dial = sim.transcript().waitFor(Kind::Received, "ATDP12\r\n", 0ms);
    ASSERT_TRUE(dial);
    const auto result = sim.transcript().waitFor(Kind::Sent, "OK", 0ms, dial->index);
    ASSERT_TRUE(result);
    EXPECT_GE(result->ms - dial->ms, 90); // the 100ms dial delay
    EXPECT_LE(result->ms - dial->ms, 500);

    // The file holds the same entries, readable while the simulator runs.
    const auto fromFile = readTranscriptFile(config.transcriptPath);
    ASSERT_GE(fromFile.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(fromFile[i].kind, entries[i].kind) << i;
        EXPECT_EQ(fromFile[i].text, entries[i].text) << i;
        EXPECT_EQ(fromFile[i].ms, entries[i].ms) << i;
    }
}

TEST(TranscriptRecords, BytesWithoutCrAfterAPauseAndRawOutputUnchanged) {
    SimulatorSetup setup;
    ModemSimulator& sim = *setup.sim;
    PortClient port(sim.linkPath());
    port.write("ATE0\r\n");
    port.readUntil("OK\r\n");

    const auto sent = Clock::now();
    port.write("RI\x01");
    const auto partial = sim.transcript().waitFor(Kind::Received, "RI\x01", 1s);
    ASSERT_TRUE(partial);
    EXPECT_LE(std::abs(partial->monotonicMs - monotonicMs(sent)), 20) << "stamped at arrival";

    sim.sendRaw("x\ty\\\xff");
    EXPECT_EQ(port.readUntil("\xff"), "x\ty\\\xff");
    EXPECT_TRUE(sim.transcript().waitFor(Kind::Raw, "x\ty\\\xff", 0ms));
}

TEST(TranscriptRecords, WaitingGivesUpAfterTheTimeout) {
    Transcript transcript;
    const auto start = Clock::now();
    EXPECT_FALSE(transcript.waitFor(Kind::Sent, "OK", 200ms));
    EXPECT_GE(msBetween(start, Clock::now()), 190);
    EXPECT_LE(msBetween(start, Clock::now()), 600);

    std::thread later([&] {
        std::this_thread::sleep_for(100ms); // added while the wait below waits
        transcript.add(Kind::Event, "other");
        transcript.add(Kind::Sent, "OK");
    });
    const auto found = transcript.waitFor(Kind::Sent, "OK", 2s);
    later.join();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->index, 1u);
}

TEST(TextForms, EscapesRoundTripEveryByteOnOneLine) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string escaped = escapeBytes(all);
    EXPECT_EQ(escaped.find_first_of("\r\n\t"), std::string::npos);
    EXPECT_EQ(unescapeBytes(escaped), all);
    EXPECT_EQ(escapeBytes("OK\r\n"), "OK\\r\\n");
    for (const auto broken : {"\\", "\\q", "\\x4", "\\xzz"})
        EXPECT_FALSE(unescapeBytes(broken)) << broken;

    const Transcript::Entry entry{12, 3456, Kind::Received, "AT+SR\r\n\t", 0};
    const auto parsed = parseEntry(formatEntry(entry));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->ms, 12);
    EXPECT_EQ(parsed->monotonicMs, 3456);
    EXPECT_EQ(parsed->kind, Kind::Received);
    EXPECT_EQ(parsed->text, entry.text);
    for (const auto bad : {"", "12\t34\trx", "x\t34\trx\tA", "1\t2\tzz\tA", "1\t2\ttx\t\\q"})
        EXPECT_FALSE(parseEntry(bad)) << bad;
}

TEST(TextForms, DurationsNeedAUnit) {
    EXPECT_EQ(parseDuration("300ms"), 300ms);
    EXPECT_EQ(parseDuration("5s"), 5000ms);
    EXPECT_EQ(parseDuration("1.5s"), 1500ms);
    EXPECT_EQ(parseDuration("0ms"), 0ms);
    for (const auto bad : {"300", "", "ms", "-1s", "5m", "1e3s", "s", "2 s", "99999999s"})
        EXPECT_FALSE(parseDuration(bad)) << bad;
}

CliParse parse(std::initializer_list<std::string> words) {
    const std::vector<std::string> arguments(words);
    return parseCommandLine(arguments);
}

TEST(CommandLine, TakesOptionsAndModemSettings) {
    const CliParse parsed = parse({"--port", "5", "--call", "12345678,unknown", "--gap=5s",
                                   "--silent", "--echo=off", "--reply", "ATZ ERROR", "--every",
                                   "20s", "--dial-result", "NO DIAL", "--no-wait", "--quiet"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const SimulatorConfig& config = parsed.options->config;
    EXPECT_EQ(config.port, 5);
    EXPECT_TRUE(config.oneCall);
    EXPECT_EQ(config.modem.numbers, (std::vector<std::string>{"12345678", "Unknown"}));
    EXPECT_EQ(config.modem.gap, 5000ms);
    EXPECT_TRUE(config.modem.silent);
    EXPECT_FALSE(config.modem.echo);
    EXPECT_EQ(config.modem.resultFor("atz"), std::optional<std::string>("ERROR"));
    EXPECT_EQ(config.modem.resultFor("ATZ0"), std::optional<std::string>("OK"));
    EXPECT_EQ(config.modem.every, 20000ms);
    EXPECT_EQ(config.modem.dialResult, "NO DIAL");
    EXPECT_FALSE(config.waitForProgram);
    EXPECT_TRUE(parsed.options->quiet);
    EXPECT_TRUE(parse({"-h"}).options->help);
}

TEST(CommandLine, RefusesBadInputNamingTheOption) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port"}, "--port"},
        {{"--port", "0"}, "--port"},
        {{"--port", "x"}, "--port"},
        {{"--gap", "300"}, "--gap"},
        {{"--bogus"}, "--bogus"},
        {{"stray"}, "stray"},
        {{"--force=yes"}, "--force"},
        {{"--silent=maybe"}, "--silent"},
        {{"--rings", "-1"}, "--rings"},
        {{"--reply", "ATZ"}, "--reply"},
        {{"--answer-final", "\\q"}, "--answer-final"},
    };
    for (const auto& [words, name] : cases) {
        const CliParse parsed = parseCommandLine(words);
        EXPECT_FALSE(parsed.options) << name;
        EXPECT_NE(parsed.error.find(name), std::string::npos) << parsed.error;
    }
}

} // namespace
} // namespace tarvik::modemsim::test
