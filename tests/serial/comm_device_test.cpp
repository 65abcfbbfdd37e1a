// What the component relies on from a device, checked on both backends: the
// in-memory one and a kernel pseudo-terminal through the termios backend.
#include "serial/comm_device.h"
#include "serial/comm_device_memory.h"
#include "serial/comm_device_posix.h"
#include "serial_test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarvik::comm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::cpuSeconds;

// A device and its far end.
class Rig {
public:
    virtual ~Rig() = default;
    CommDevice& device() { return *handle; }
    virtual void farSend(const std::string& bytes) = 0;
    virtual std::string farReceive(std::size_t count) = 0;
    // Makes the device stop taking output.
    virtual void blockOutput() = 0;
    virtual void vanish() = 0;
    // Bytes a write needs so that it cannot finish at once once output is blocked.
    virtual std::size_t stuckWriteSize() const = 0;

protected:
    CommHandle handle;
};

class MemoryRig final : public Rig {
public:
    MemoryRig() { handle = line->Open(); }
    void farSend(const std::string& bytes) override { line->Feed(bytes); }
    std::string farReceive(std::size_t count) override {
        line->WaitForSent(count, 2s);
        return line->TakeSent();
    }
    void blockOutput() override { line->HoldOutput(true); }
    void vanish() override { line->HangUp(); }
    std::size_t stuckWriteSize() const override { return 16; }

private:
    std::shared_ptr<MemoryLine> line = MemoryLine::Create();
};

class PtyRig final : public Rig {
public:
    PtyRig() { handle = OpenSystemDevice(pty.devicePath()); }
    void farSend(const std::string& bytes) override { pty.send(bytes); }
    std::string farReceive(std::size_t count) override { return pty.receive(count, 2s); }
    void blockOutput() override {} // nobody reads the master: its buffer fills
    void vanish() override {
        pty.closeSpare();
        pty.closeMaster();
    }
    std::size_t stuckWriteSize() const override { return 1 << 20; }

private:
    test::PtyPair pty;
};

class DeviceContract : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            rig = std::make_unique<PtyRig>();
        else
            rig = std::make_unique<MemoryRig>();
        ASSERT_NE(&rig->device(), nullptr);
    }
    // Waits until the device has `count` bytes received and unread.
    bool holds(DWORD count) {
        COMSTAT stat{};
        const auto status = [&] { return rig->device().ClearCommError(nullptr, &stat); };
        return test::pumpUntil([&] { return status() && stat.cbInQue == count; }, 2s);
    }
    std::unique_ptr<Rig> rig;
    OVERLAPPED ov;
};

TEST_P(DeviceContract, ReadsFollowTheTimeouts) {
    CommDevice& dev = rig->device();
    char buf[16] = {};
    DWORD n = 0;
    // All-zero time-outs: a read finishes only when its count is reached.
    ASSERT_TRUE(dev.SetCommTimeouts({}));
    rig->farSend("abcd");
    ASSERT_TRUE(holds(4));
    EXPECT_FALSE(dev.ReadFile(buf, 10, &n, ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(dev.GetOverlappedResult(ov, &n, false));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    rig->farSend("efghij");
    ASSERT_TRUE(dev.GetOverlappedResult(ov, &n, true));
    EXPECT_EQ(std::string(buf, n), "abcdefghij");
    EXPECT_TRUE(ov.hEvent.IsSet());

    // "Return what is there": at once, even with less than asked.
    ASSERT_TRUE(dev.SetCommTimeouts({MAXDWORD, 0, 0, 0, 0}));
    rig->farSend("xyz");
    EXPECT_TRUE(holds(3));
    EXPECT_TRUE(dev.ReadFile(buf, 10, &n, ov));
    EXPECT_EQ(std::string(buf, n), "xyz");
    EXPECT_TRUE(dev.ReadFile(buf, 10, &n, ov));
    EXPECT_EQ(n, 0u);
}

TEST_P(DeviceContract, PurgeAbortsPendingTransfers) {
    CommDevice& dev = rig->device();
    char buf[8];
    DWORD n = 0;
    ASSERT_TRUE(dev.SetCommTimeouts({}));
    ASSERT_FALSE(dev.ReadFile(buf, sizeof buf, &n, ov));
    const auto start = Clock::now(); // before the purger's pause starts
    std::thread purger([&] {
        std::this_thread::sleep_for(100ms); // the wait below blocks meanwhile
        dev.PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR);
    });
    EXPECT_FALSE(dev.GetOverlappedResult(ov, &n, true));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_GE(Clock::now() - start, 90ms);
    purger.join();

    rig->blockOutput();
    const std::string big(rig->stuckWriteSize(), 'w');
    OVERLAPPED wov;
    bool ok = dev.WriteFile(big.data(), static_cast<DWORD>(big.size()), &n, wov);
    ASSERT_FALSE(ok);
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    std::thread writePurger([&] {
        std::this_thread::sleep_for(100ms); // the wait below blocks meanwhile
        dev.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
    });
    EXPECT_FALSE(dev.GetOverlappedResult(wov, &n, true));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    writePurger.join();
}

TEST_P(DeviceContract, EventWaitsReportNewBytesOnceAndEndOnAMaskChange) {
    CommDevice& dev = rig->device();
    DWORD mask = 0xFFFF;
    EXPECT_FALSE(dev.WaitCommEvent(&mask, ov)); // nothing armed
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(dev.SetCommMask(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    ASSERT_FALSE(dev.WaitCommEvent(&mask, ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    std::thread sender([&] {
        std::this_thread::sleep_for(50ms); // the wait below blocks meanwhile
        rig->farSend("RING\r\n");
    });
    DWORD unused = 0;
    ASSERT_TRUE(dev.GetOverlappedResult(ov, &unused, true));
    EXPECT_EQ(mask, EV_RXCHAR);
    sender.join();

    // The bytes stay unread: the next wait must block, not fire again.
    ASSERT_TRUE(holds(6));
    ASSERT_FALSE(dev.WaitCommEvent(&mask, ov));
    std::thread rearm([&] {
        std::this_thread::sleep_for(300ms); // the wait below blocks meanwhile
        dev.SetCommMask(EV_RXCHAR);
    });
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    ASSERT_TRUE(dev.GetOverlappedResult(ov, &unused, true));
    EXPECT_GE(Clock::now() - start, 250ms);
    EXPECT_LT(cpuSeconds() - cpu, 0.1);
    EXPECT_EQ(mask, 0u); // ended by the change of mask
    rearm.join();

    // Without modem lines, or with all of them up, the inputs read as on.
    DWORD status = 0;
    ASSERT_TRUE(dev.GetCommModemStatus(&status));
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    EXPECT_TRUE(dev.EscapeCommFunction(SETDTR));
    EXPECT_TRUE(dev.EscapeCommFunction(CLRRTS));
}

TEST_P(DeviceContract, WritesReachTheFarEndAndRaiseTxEmpty) {
    CommDevice& dev = rig->device();
    ASSERT_TRUE(dev.SetCommMask(EV_TXEMPTY));
    DWORD n = 0;
    EXPECT_TRUE(dev.WriteFile("ATZ\r\n", 5, &n, ov));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(rig->farReceive(5), "ATZ\r\n");
    DWORD mask = 0;
    OVERLAPPED wait;
    if (!dev.WaitCommEvent(&mask, wait)) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_TRUE(dev.GetOverlappedResult(wait, &n, true));
    }
    EXPECT_EQ(mask, EV_TXEMPTY);
}

TEST_P(DeviceContract, AVanishedDeviceFailsItsWaitAndEveryCallAfter) {
    CommDevice& dev = rig->device();
    ASSERT_TRUE(dev.SetCommMask(EV_RXCHAR | EV_CTS));
    DWORD mask = 0;
    ASSERT_FALSE(dev.WaitCommEvent(&mask, ov));
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    rig->vanish();
    DWORD n = 0;
    EXPECT_FALSE(dev.GetOverlappedResult(ov, &n, true));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_LT(Clock::now() - start, 1500ms);

    char buf[4];
    OVERLAPPED rov;
    ASSERT_TRUE(dev.SetCommTimeouts({MAXDWORD, 0, 0, 0, 0}));
    EXPECT_FALSE(dev.ReadFile(buf, sizeof buf, &n, rov));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_FALSE(dev.WriteFile("x", 1, &n, rov));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_FALSE(dev.ClearCommError(nullptr, nullptr));
    EXPECT_FALSE(dev.WaitCommEvent(&mask, ov));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_LT(cpuSeconds() - cpu, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Backends, DeviceContract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pty" : "Memory"; });

TEST(MemoryDevice, LineErrorsAreReadAndClearedAndLineChangesRaiseEvents) {
    auto line = MemoryLine::Create();
    CommHandle dev = line->Open();
    EXPECT_EQ(line->Open(), nullptr); // one at a time
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    dev->SetCommMask(EV_ERR | EV_BREAK | EV_CTS | EV_RING);
    line->AddLineErrors(CE_FRAME | CE_BREAK);
    line->SetModemStatus(MS_DSR_ON | MS_RLSD_ON | MS_RING_ON); // CTS off, ring on
    OVERLAPPED ov;
    DWORD mask = 0;
    ASSERT_TRUE(dev->WaitCommEvent(&mask, ov));
    EXPECT_EQ(mask, EV_ERR | EV_BREAK | EV_CTS | EV_RING);
    DWORD errors = 0;
    ASSERT_TRUE(dev->ClearCommError(&errors, nullptr));
    EXPECT_EQ(errors, CE_FRAME | CE_BREAK);
    ASSERT_TRUE(dev->ClearCommError(&errors, nullptr));
    EXPECT_EQ(errors, 0u);
    DWORD status = 0;
    line->FailModemStatus(true);
    EXPECT_FALSE(dev->GetCommModemStatus(&status));
    dev.reset();
    EXPECT_FALSE(line->IsOpen());
}

} // namespace
} // namespace tarvik::comm
