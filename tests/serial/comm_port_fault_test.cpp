// The port component and the real POSIX back end on a kernel pseudo-terminal,
// with faults put between the back end and the kernel.
#include "pty_port_support.h"
#include "serial/comm_syscalls.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using test::cpuSeconds;
using test::drain;
using test::lineSettings;
using test::portThreads;
using test::pumpFor;
using test::pumpUntil;
using Clock = std::chrono::steady_clock;

// The kernel's calls, with faults on request. Only the device under test uses them.
class FaultyCalls final : public comm::SystemCalls {
public:
    enum Call { ReadCall, WriteCall, StatusCall, QueueCall, kCalls };

    // The next `times` calls of the kind fail with `error`.
    void failNext(Call call, int error, int times = 1) {
        errors_[call] = error;
        left_[call] = times;
    }
    // Every read, write and ioctl fails with `error` from now on; 0 ends it.
    void failAll(int error) { all_ = error; }
    bool faultsLeft() const {
        for (const auto& left : left_)
            if (left > 0) return true;
        return false;
    }

    // The terminal reports modem lines, all up, so the port queries them as on a modem.
    std::atomic<bool> modemLines{false};
    // Every wait for the device sees it hung up (the node stays).
    std::atomic<bool> pollHangUp{false};
    // The device reads back `shownSpeed` after it was set to `refusedSpeed`.
    std::atomic<unsigned> refusedSpeed{0};
    std::atomic<unsigned> shownSpeed{0};

    ssize_t Read(int fd, void* buf, std::size_t count) override {
        if (const int error = fault(ReadCall)) return failWith(error);
        return SystemCalls::Read(fd, buf, count);
    }
    ssize_t Write(int fd, const void* buf, std::size_t count) override {
        if (const int error = fault(WriteCall)) return failWith(error);
        return SystemCalls::Write(fd, buf, count);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        const Call call = request == TIOCMGET                          ? StatusCall
                          : request == FIONREAD || request == TIOCOUTQ ? QueueCall
                                                                       : kCalls;
        if (const int error = fault(call)) return failWith(error);
        if (call == StatusCall && modemLines) {
            *static_cast<int*>(arg) = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            return 0;
        }
        const int result = SystemCalls::Ioctl(fd, request, arg);
        if (auto* t = static_cast<termios2*>(arg);
            request == TCGETS2 && result == 0 && refusedSpeed && t->c_ospeed == refusedSpeed)
            t->c_ospeed = shownSpeed;
        return result;
    }

    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        // The device's descriptor follows the waiter's own event.
        if (!pollHangUp || count < 2) return SystemCalls::Poll(fds, count, timeoutMs);
        const int ready = SystemCalls::Poll(fds, count, 0); // a hung-up tty is ready at once
        if (ready < 0) return ready;
        const bool counted = fds[1].revents != 0;
        fds[1].revents |= POLLHUP;
        return counted ? ready : ready + 1;
    }

private:
    static int failWith(int error) {
        errno = error;
        return -1;
    }
    // The error a call of the kind fails with now; 0 lets it through.
    int fault(Call call) {
        if (const int error = all_) return error;
        if (call == kCalls) return 0;
        int left = left_[call];
        while (left > 0 && !left_[call].compare_exchange_weak(left, left - 1)) {
        }
        return left > 0 ? errors_[call].load() : 0;
    }

    std::atomic<int> all_{0};
    std::array<std::atomic<int>, kCalls> left_{};
    std::array<std::atomic<int>, kCalls> errors_{};
};

class FaultyPtyPortTest : public ::testing::Test {
protected:
    void openPort() {
        config.linkCom(7, pty.devicePath());
        port.SetComNumber(7);
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
    }
    // Bytes go both ways through the port, whole and in order.
    void expectBytesFlow(const std::string& in, const std::string& out) {
        pty.send(in);
        EXPECT_EQ(drain(port, in.size(), 3s), in);
        port.WriteString(out);
        EXPECT_EQ(pty.receive(out.size(), 3s), out);
    }
    // The port's close ends soon and leaves no thread behind.
    void expectPromptClose() {
        const auto start = Clock::now();
        port.SetOpen(false);
        EXPECT_LT(Clock::now() - start, 2s);
        EXPECT_FALSE(port.Open());
        EXPECT_FALSE(port.DeviceLost());
        EXPECT_EQ(portThreads(), 0);
    }

    FaultyCalls calls;
    comm::ScopedSystemCalls seam{calls};
    test::ScopedConfigHome config;
    test::PtyPair pty;
    TCommPort port; // last: closes before the seam goes
};

// --- faults that pass -------------------------------------------------------------

struct Glitch {
    const char* name;
    FaultyCalls::Call call;
    int error;
};

void PrintTo(const Glitch& glitch, std::ostream* out) {
    *out << glitch.name;
}

class GlitchTest : public FaultyPtyPortTest, public ::testing::WithParamInterface<Glitch> {};

TEST_P(GlitchTest, OneFailedCallMovesNothingAndTheNextPassGoesOn) {
    calls.modemLines = true;
    openPort();
    expectBytesFlow("OK\r\n", "ATE0\r\n");

    calls.failNext(GetParam().call, GetParam().error);
    expectBytesFlow("RING\r\n", "AT+SR\r\n");
    EXPECT_FALSE(calls.faultsLeft()); // the fault was met, and passed over
    EXPECT_FALSE(port.DeviceLost());
    expectBytesFlow("CallerID: 1234567\r\n", "\r");
    EXPECT_FALSE(port.DeviceLost());
    expectPromptClose();
}

INSTANTIATE_TEST_SUITE_P(Faults, GlitchTest,
                         ::testing::Values(Glitch{"StatusQueryEio", FaultyCalls::StatusCall, EIO},
                                           Glitch{"ReadEio", FaultyCalls::ReadCall, EIO},
                                           Glitch{"WriteEio", FaultyCalls::WriteCall, EIO},
                                           Glitch{"QueueQueryEio", FaultyCalls::QueueCall, EIO},
                                           Glitch{"QueueQueryEproto", FaultyCalls::QueueCall,
                                                  EPROTO}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- faults that last -------------------------------------------------------------

struct Lasting {
    const char* name;
    int error;
    bool lost;                           // the device counts as gone
    std::chrono::milliseconds notBefore; // ... but not before this
};

void PrintTo(const Lasting& fault, std::ostream* out) {
    *out << fault.name;
}

class LastingFaultTest : public FaultyPtyPortTest, public ::testing::WithParamInterface<Lasting> {};

TEST_P(LastingFaultTest, TheDeviceIsLostOnlyWhenGoneAndNothingSpins) {
    calls.modemLines = true;
    openPort();
    expectBytesFlow("OK\r\n", "ATE0\r\n");
    port.WriteString("AT\r\n");

    const auto start = Clock::now();
    calls.failAll(GetParam().error);
    const bool lost = pumpUntil([&] { return port.DeviceLost(); }, 2500ms);
    EXPECT_EQ(lost, GetParam().lost);
    if (lost) {
        EXPECT_GE(Clock::now() - start, GetParam().notBefore);
    }
    EXPECT_TRUE(port.Open());

    const double cpu = cpuSeconds();
    pumpFor(1000ms);
    EXPECT_LT(cpuSeconds() - cpu, 0.2);
    EXPECT_EQ(port.DeviceLost(), GetParam().lost);
    expectPromptClose();

    // Back again: a fresh open starts clean.
    calls.failAll(0);
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.DeviceLost());
    expectBytesFlow("OK\r\n", "ATE0\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LastingFaultTest,
    ::testing::Values(Lasting{"Enxio", ENXIO, true, 0ms}, Lasting{"Enodev", ENODEV, true, 0ms},
                      // The node is still there: only an EIO that lasts means gone.
                      Lasting{"Eio", EIO, true, 900ms},
                      // Not a sign of a vanished device at all.
                      Lasting{"Eproto", EPROTO, false, 0ms}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultyPtyPortTest, AHangUpThatLeavesTheDeviceWorkingIsWaitedOutWithoutSpinning) {
    openPort();
    calls.pollHangUp = true;
    const double cpu = cpuSeconds();
    pumpFor(1000ms);
    EXPECT_LT(cpuSeconds() - cpu, 0.2);
    EXPECT_FALSE(port.DeviceLost());
    expectBytesFlow("RING\r\n", "AT+SR\r\n");
    calls.pollHangUp = false;
    expectBytesFlow("OK\r\n", "\r");
    expectPromptClose();
}

// --- the close and the speed ------------------------------------------------------

TEST_F(FaultyPtyPortTest, ACloseEndsWhileTheDeviceTakesNothing) {
    const std::string block(2048, 'x');
    // Closed while the writer starts a write, just after, and with the device full.
    for (const auto wait : {0ms, 30ms, 600ms}) {
        openPort();
        ::ioctl(pty.spare(), TCXONC, TCOOFF); // flow stopped: the terminal sends nothing
        const auto until = Clock::now() + wait;
        do {
            port.WriteBuffer(block.data(), static_cast<std::int32_t>(block.size()));
            pumpFor(5ms);
        } while (Clock::now() < until);
        if (wait > 100ms) {
            EXPECT_EQ(port.OutFree(), 0) << "the device took everything";
        }
        expectPromptClose();
        ::ioctl(pty.spare(), TCXONC, TCOON);
        ::ioctl(pty.spare(), TCFLSH, TCIOFLUSH);
    }
}

TEST_F(FaultyPtyPortTest, ASpeedTheDeviceDoesNotTakeFailsTheSetUpAndKeepsTheOldOne) {
    calls.refusedSpeed = 115200;
    calls.shownSpeed = 9600;
    const unsigned before = lineSettings(pty).c_ospeed;
    std::int32_t openError = -1;
    port.SetOnOpen([&](TObject*, std::int32_t error) { openError = error; });
    port.SetBaud(115200);
    openPort();
    EXPECT_EQ(openError, static_cast<std::int32_t>(comm::ERROR_INVALID_PARAMETER));
    EXPECT_EQ(lineSettings(pty).c_ospeed, before);
    EXPECT_EQ(port.Baud(), 115200); // the property keeps what was written
    expectBytesFlow("OK\r\n", "ATE0\r\n");

    port.SetBaud(57600);
    EXPECT_EQ(lineSettings(pty).c_ospeed, 57600u);
    port.SetBaud(115200);
    EXPECT_EQ(lineSettings(pty).c_ospeed, 57600u);
    port.SetOpen(false);

    calls.refusedSpeed = 0;
    openPort();
    EXPECT_EQ(openError, 0);
    EXPECT_EQ(lineSettings(pty).c_ospeed, 115200u);
}

} // namespace
} // namespace tarvik
