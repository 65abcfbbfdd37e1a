// Rings, calls and the scripted scenario.
#include "sim_support.h"

#include "modemsim/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace tarvik::modemsim::test {
namespace {

using Kind = Transcript::Kind;

std::vector<Transcript::Entry> entriesOf(const ModemSimulator& sim, Kind kind,
                                         std::string_view text) {
    std::vector<Transcript::Entry> found;
    for (auto& e : sim.transcript().entries())
        if (e.kind == kind && e.text.starts_with(text)) found.push_back(e);
    return found;
}

class Cadence : public ::testing::TestWithParam<int> {};

TEST_P(Cadence, RingLinesComeAtTheConfiguredGap) {
    const int gap = GetParam();
    SimulatorSetup setup;
    PortClient port(setup.sim->linkPath());
    ASSERT_TRUE(setup.sim->execute("gap " + std::to_string(gap) + "ms").ok);
    setup.sim->call({"12345678"});

    std::vector<Clock::time_point> arrivals;
    while (auto line = port.readLine(milliseconds(gap * 2 + 500)))
        if (*line == "RING") arrivals.push_back(Clock::now());
    ASSERT_EQ(arrivals.size(), 3u) << "three rings, then silence";
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        EXPECT_GE(msBetween(arrivals[i - 1], arrivals[i]), gap - 30);
        EXPECT_LE(msBetween(arrivals[i - 1], arrivals[i]), gap + 150);
    }

    const auto rings = entriesOf(*setup.sim, Kind::Sent, "RING");
    ASSERT_EQ(rings.size(), 3u);
    for (std::size_t i = 1; i < rings.size(); ++i) {
        EXPECT_GE(rings[i].ms - rings[i - 1].ms, gap - 5);
        EXPECT_LE(rings[i].ms - rings[i - 1].ms, gap + 150);
    }
}

INSTANTIATE_TEST_SUITE_P(Gaps, Cadence, ::testing::Values(150, 600));

TEST(Calls, HangupStopsTheRingsAndTheReport) {
    SimulatorSetup setup;
    ModemSimulator& sim = *setup.sim;
    PortClient port(sim.linkPath());
    sim.call({"12345678"});
    port.readUntil("RING\r\n");
    sim.hangup();
    EXPECT_EQ(port.readFor(700ms), "");

    ASSERT_TRUE(sim.execute("answer-delay 300ms").ok);
    port.write("ATE0\r\nAT+SR\r\n");
    port.readUntil("ATE0\r\r\nOK\r\n");
    sim.hangup();
    EXPECT_EQ(port.readFor(600ms), "") << "the caller left before the report";
    EXPECT_FALSE(sim.state().held);
}

TEST(Calls, ScriptedCallWaitsForTheProgramsFirstCommand) {
    SimulatorConfig config = SimulatorSetup::quickConfig();
    config.oneCall = true;
    config.delay = 200ms;
    config.modem.numbers = {"7654321"};
    config.modem.rings = 1;
    SimulatorSetup setup(config);
    PortClient port(setup.sim->linkPath());

    EXPECT_EQ(port.readFor(500ms), "") << "no ring before the program is there";
    port.write("ATE0\r\n");
    const auto first = Clock::now();
    port.readUntil("OK\r\n");
    EXPECT_EQ(port.readUntil("\r\nRING\r\n"), "\r\nRING\r\n");
    EXPECT_GE(msBetween(first, Clock::now()), 180);
    EXPECT_LE(msBetween(first, Clock::now()), 700);
    EXPECT_EQ(setup.sim->state().callNumbers, std::vector<std::string>{"7654321"});
    EXPECT_EQ(port.readFor(500ms), "") << "one call only";
}

TEST(Calls, EveryRepeatsCallsUntilSwitchedOff) {
    SimulatorConfig config = SimulatorSetup::quickConfig();
    config.modem.rings = 1;
    SimulatorSetup setup(config);
    ModemSimulator& sim = *setup.sim;
    ASSERT_TRUE(sim.execute("every 250ms").ok);

    const auto isCall = [](const Transcript::Entry& e) {
        return e.kind == Kind::Event && e.text.starts_with("call ");
    };
    std::size_t from = 0;
    std::vector<std::int64_t> times;
    for (int i = 0; i < 3; ++i) {
        auto call = sim.transcript().waitFor(isCall, 2s, from);
        ASSERT_TRUE(call);
        times.push_back(call->ms);
        from = call->index + 1;
    }
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 240);
        EXPECT_LE(times[i] - times[i - 1], 450);
    }
    ASSERT_TRUE(sim.execute("every off").ok);
    const int calls = sim.state().callsStarted;
    EXPECT_FALSE(sim.transcript().waitFor(isCall, 600ms, sim.transcript().size()));
    EXPECT_EQ(sim.state().callsStarted, calls);
}

TEST(Calls, RandomCallersLookLikeRealNumbers) {
    std::mt19937 random(42);
    std::set<std::string> seen;
    std::set<std::size_t> lengths;
    int unknown = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string n = randomCallerNumber(random);
        seen.insert(n);
        if (n == "Unknown") {
            ++unknown;
            continue;
        }
        ASSERT_TRUE(std::all_of(n.begin(), n.end(), [](char c) { return std::isdigit(c); })) << n;
        lengths.insert(n.size());
        // 7 or 10 digits plus the category; local numbers never start with 0 or 1
        EXPECT_GE(n[n.size() - 8], '2') << n;
    }
    EXPECT_EQ(lengths, (std::set<std::size_t>{8, 11}));
    EXPECT_GT(unknown, 0);
    EXPECT_LT(unknown, 100);
    EXPECT_GT(seen.size(), 300u);
}

} // namespace
} // namespace tarvik::modemsim::test
