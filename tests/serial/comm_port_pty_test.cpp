// The port component on real kernel pseudo-terminals.
#include "pty_port_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using test::cpuSeconds;
using test::drain;
using test::lineSettings;
using test::portThreads;
using test::procEntries;
using test::PtyPair;
using test::pumpFor;
using test::pumpUntil;
using test::ScopedConfigHome;
using Clock = std::chrono::steady_clock;

class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override { config.linkCom(7, pty.devicePath()); }

    ScopedConfigHome config;
    PtyPair pty;
    TCommPort port;
};

TEST_F(PtyPortTest, OpensByNumberAndCarriesBytesBothWaysAtEachSpeed) {
    port.SetComNumber(7);
    port.SetDTR(true);
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    port.SetDTR(true); // no modem lines: a no-op the port accepts
    port.SetRTS(true);
    EXPECT_EQ(lineSettings(pty).c_ospeed, 19200u);

    for (const std::int32_t baud : {19200, 115200}) {
        port.SetBaud(baud);
        EXPECT_EQ(lineSettings(pty).c_ospeed, static_cast<unsigned>(baud));
        pty.send("RING\r\n");
        EXPECT_EQ(drain(port, 6, 3s), "RING\r\n");
        // A pseudo-terminal has no CTS line; it reads as on, so the writer sends.
        port.WriteString("ATE0\r\n");
        EXPECT_EQ(pty.receive(6, 3s), "ATE0\r\n");
    }

    // A pseudo-terminal forces 8 bits without parity but keeps the other bits.
    port.SetParity(TParity::paMark);
    const termios2 t = lineSettings(pty);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), unsigned(PARODD | CMSPAR));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    port.SetStopbits(TStopbits::sb2_0);
    EXPECT_TRUE(lineSettings(pty).c_cflag & CSTOPB);
    port.SetBaud(14400); // not a standard tty rate
    EXPECT_EQ(lineSettings(pty).c_ospeed, 14400u);
    EXPECT_EQ(lineSettings(pty).c_cflag & CBAUD, unsigned(BOTHER));
}

TEST_F(PtyPortTest, TheOpenIsExclusive) {
    port.SetComNumber(7);
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());

    config.writeCom(8, pty.devicePath() + "\n"); // the same device under another name
    TCommPort second;
    for (const int number : {7, 8}) {
        second.SetComNumber(number);
        second.SetOpen(true);
        EXPECT_FALSE(second.Open()) << "COM" << number;
    }
    port.SetOpen(false);
    second.SetOpen(true);
    EXPECT_TRUE(second.Open());
}

TEST_F(PtyPortTest, ADevicePathNamesThePortInsteadOfTheNumber) {
    PtyPair named;
    port.SetComNumber(7); // another terminal: the path must win
    port.SetDevicePath(named.devicePath());
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    named.send("RING\r\n");
    EXPECT_EQ(drain(port, 6, 3s), "RING\r\n");
    port.SetOpen(false);

    const std::string gone = config.path().toStdString() + "/ttyGone";
    port.SetDevicePath(gone);
    port.SetOpen(true);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenError().device, gone);
    EXPECT_EQ(port.LastOpenError().systemError, ENOENT);
    EXPECT_EQ(port.LastOpenError().errorString(),
              gone + ": No such file or directory; is the modem plugged in?");

    port.SetDevicePath(named.devicePath());
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.LastOpenError().failed());
}

TEST_F(PtyPortTest, AMegabyteArrivesWholeAndInOrder) {
    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) % 256);
    port.SetComNumber(7);
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    std::thread sender([&] { pty.send(data); });

    std::string got;
    got.reserve(data.size());
    char buf[4096];
    bool overflowed = false;
    const auto deadline = Clock::now() + 60s;
    while (got.size() < data.size() && Clock::now() < deadline) {
        pumpUntil([&] { return port.InCount() > 0; }, 50ms);
        overflowed |= port.InCount() > port.InSize();
        got.append(buf, static_cast<std::size_t>(port.ReadBuffer(buf, sizeof buf)));
    }
    sender.join();
    EXPECT_FALSE(overflowed);
    ASSERT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(PtyPortTest, AClosedFarEndIsReportedLostAndNeitherSpinsNorHangs) {
    const int fdsBefore = procEntries("/proc/self/fd");
    port.SetComNumber(7);
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(portThreads(), 3);
    port.WriteString("AT\r\n");
    pumpFor(300ms);
    EXPECT_FALSE(port.DeviceLost());
    // What the simulator's unplug does: the terminal side sees a hang-up for ever
    // and its node goes.
    pty.closeMaster();
    const auto closed = Clock::now();
    ASSERT_TRUE(pumpUntil([&] { return port.DeviceLost(); }, 3s));
    EXPECT_LT(Clock::now() - closed, 1500ms);
    EXPECT_TRUE(port.Open()); // the port leaves the close to its user
    port.WriteString("AT\r\n");
    const double cpu = cpuSeconds();
    pumpFor(1000ms);
    EXPECT_LT(cpuSeconds() - cpu, 0.2);
    EXPECT_EQ(port.InCount(), 0);
    EXPECT_TRUE(port.DeviceLost());

    const auto start = Clock::now();
    port.SetOpen(false);
    EXPECT_LT(Clock::now() - start, 1500ms);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.DeviceLost());
    EXPECT_EQ(procEntries("/proc/self/fd"), fdsBefore - 1); // the master went first
    EXPECT_EQ(portThreads(), 0);

    // The device comes back under the same name.
    PtyPair again;
    config.linkCom(7, again.devicePath());
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.DeviceLost());
    again.send("OK\r\n");
    EXPECT_EQ(drain(port, 4, 3s), "OK\r\n");
}

} // namespace
} // namespace tarvik
