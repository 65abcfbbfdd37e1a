// The COMn link in the ports folder, and a modem that vanishes and comes back.
#include "sim_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tarvik::modemsim::test {
namespace {

namespace fs = std::filesystem;

SimulatorConfig configIn(const TempDir& dir, int port = 2) {
    SimulatorConfig config = SimulatorSetup::quickConfig();
    config.portsDir = dir.path() + "/ports";
    config.port = port;
    return config;
}

std::string errorOf(const SimulatorConfig& config) {
    try {
        ModemSimulator sim(config);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

TEST(PortLink, NamesTheSlaveAndGoesWithTheSimulator) {
    TempDir dir;
    const std::string link = dir.path() + "/ports/COM7";
    {
        ModemSimulator sim(configIn(dir, 7));
        EXPECT_EQ(sim.linkPath(), link);
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), sim.slavePath());
        PortClient port(link);
        port.write("AT\r");
        EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "AT\r\r\nOK\r\n");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PortLink, StaleLinksAreReplaced) {
    TempDir dir;
    fs::create_directories(dir.path() + "/ports");
    const std::string link = dir.path() + "/ports/COM2";
    for (const auto* stale : {"/dev/pts/9999", "/nonexistent/ttyUSB0"}) {
        SCOPED_TRACE(stale);
        fs::create_symlink(stale, link);
        ModemSimulator sim(configIn(dir));
        EXPECT_EQ(fs::read_symlink(link), sim.slavePath());
    }
}

TEST(PortLink, LiveSimulatorKeepsItsPort) {
    TempDir dir;
    ModemSimulator first(configIn(dir));
    const std::string error = errorOf(configIn(dir));
    EXPECT_NE(error.find("COM2 is already served by another tarvik-modemsim (pid "),
              std::string::npos)
        << error;
    EXPECT_EQ(fs::read_symlink(first.linkPath()), first.slavePath());

    ModemSimulator other(configIn(dir, 3));
    EXPECT_NE(other.slavePath(), first.slavePath());
}

TEST(PortLink, SomethingElseNeedsForce) {
    TempDir dir;
    fs::create_directories(dir.path() + "/ports");
    const std::string link = dir.path() + "/ports/COM2";
    fs::create_symlink("/dev/null", link);
    EXPECT_NE(errorOf(configIn(dir)).find("--force"), std::string::npos);
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");

    fs::remove(link);
    std::ofstream(link) << "/dev/ttyS1\n"; // the file form TARVIK also reads
    EXPECT_NE(errorOf(configIn(dir)).find("--force"), std::string::npos);

    SimulatorConfig forced = configIn(dir);
    forced.force = true;
    ModemSimulator sim(forced);
    EXPECT_EQ(fs::read_symlink(link), sim.slavePath());
}

TEST(PortLink, ExclusiveModeEndsWithTheProgramsClose) {
    TempDir dir;
    ModemSimulator sim(configIn(dir));
    {
        PortClient first(sim.linkPath());
        first.makeExclusive();
        ASSERT_TRUE(first.exclusive());
        EXPECT_TRUE(sim.transcript().waitFor(Transcript::Kind::Event, "port opened", 1s));
    }
    const auto closed = sim.transcript().waitFor(Transcript::Kind::Event, "port closed", 1s);
    ASSERT_TRUE(closed);
    // Root may open an exclusive terminal anyway, so ask the flag.
    PortClient second(sim.linkPath());
    EXPECT_FALSE(second.exclusive()) << "a second start of the program would find it busy";
    EXPECT_TRUE(
        sim.transcript().waitFor(Transcript::Kind::Event, "port opened", 1s, closed->index));
}

TEST(PortLink, UnpluggedModemHangsUpAndPluggedOneAnswersAgain) {
    TempDir dir;
    ModemSimulator sim(configIn(dir));
    {
        PortClient port(sim.linkPath());
        port.write("ATE0\r");
        port.readUntil("OK\r\n");
        sim.unplug();
        EXPECT_TRUE(port.waitForHangup(1s));
        EXPECT_FALSE(sim.state().plugged);
        EXPECT_FALSE(fs::exists(sim.linkPath()))
            << "the name leads nowhere, not to a reused terminal";
        EXPECT_TRUE(fs::is_symlink(sim.linkPath())) << "as a link to a by-id name";
        sim.ring(); // lost, but recorded as such
        EXPECT_TRUE(sim.transcript().waitFor(Transcript::Kind::Event,
                                             "not sent (unplugged): tx RING", 0ms));
    }
    sim.plug();
    ASSERT_TRUE(sim.state().plugged);
    EXPECT_EQ(fs::read_symlink(sim.linkPath()), sim.slavePath());
    PortClient port(sim.linkPath());
    port.write("AT\r");
    EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "AT\r\r\nOK\r\n") << "echo is back on, as at start";
}

} // namespace
} // namespace tarvik::modemsim::test
