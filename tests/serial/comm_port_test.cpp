// The port component over the scripted in-memory device.
#include "serial/CommPort.h"
#include "serial/comm_device_memory.h"
#include "serial_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using namespace comm;
using test::pumpFor;
using test::pumpUntil;
using Clock = std::chrono::steady_clock;

// Opens up the component's state for the checks.
class ProbePort : public TCommPort {
public:
    using TCommPort::TCommPort;
    bool cts() const { return FCTS; }
    bool dsr() const { return FDSR; }
    bool rlsd() const { return FRLSD; }
    bool ring() const { return FRing; }
    bool statusStarted() const { return FStatusStarted.IsSet(); }
    bool hasThreads() const { return FStatusThread || FReadThread || FWriteThread; }
};

std::string pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

constexpr DWORD kAllLines = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

class MemoryPortTest : public ::testing::Test {
protected:
    void openAndSettle() {
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
        // The first report of the line states arrives once the UI thread runs steps.
        ASSERT_TRUE(pumpUntil([&] { return port.statusStarted(); }, 3s));
    }

    std::shared_ptr<MemoryLine> line = MemoryLine::Create();
    std::shared_ptr<MemoryLine> other = MemoryLine::Create();
    ScopedCommDeviceOpener opener{MemoryOpener({{"\\\\.\\COM2", line}, {"\\\\.\\COM3", other}})};
    std::vector<std::string> raised;
    ProbePort port; // last: closes before the lines go
};

TEST_F(MemoryPortTest, AFreshComponentHasItsConstructionValues) {
    TComponent owner;
    TCommPort fresh(&owner);
    EXPECT_EQ(fresh.Owner(), &owner);
    EXPECT_FALSE(fresh.Open());
    EXPECT_FALSE(fresh.HandleValid());
    EXPECT_EQ(fresh.ComNumber(), 2);
    EXPECT_EQ(fresh.BaudRate(), TBaudRate::cbr19200);
    EXPECT_EQ(fresh.Baud(), 19200);
    EXPECT_EQ(fresh.Parity(), TParity::paNone);
    EXPECT_EQ(fresh.Stopbits(), TStopbits::sb1_0);
    EXPECT_EQ(fresh.Databits(), 8);
    EXPECT_EQ(fresh.InSize(), 2048);
    EXPECT_EQ(fresh.OutSize(), 4096);
    EXPECT_EQ(fresh.MonitorEvents().Bits(), 0x01FF);
    EXPECT_TRUE(fresh.MonitorEvents().Contains(TC32EventState::evTxEmpty));
    EXPECT_FALSE(fresh.DTR());
    EXPECT_FALSE(fresh.RTS());
    EXPECT_FALSE(fresh.OnOpen() || fresh.OnBreakSignal() || fresh.OnCTSSignal() ||
                 fresh.OnDSRSignal() || fresh.OnErrorSignal() || fresh.OnRingSignal() ||
                 fresh.OnRLSDSignal() || fresh.OnTriggerAvail() || fresh.OnTxEmptySignal() ||
                 fresh.OnDTRSignal() || fresh.OnRxDSignal() || fresh.OnTxDSignal());
    EXPECT_EQ(fresh.InCount(), 0);
    EXPECT_EQ(fresh.OutFree(), 4096);
}

TEST_F(MemoryPortTest, BaudTakesOnlyTableSpeeds) {
    port.SetBaud(33600);
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr19200);
    EXPECT_EQ(port.Baud(), 19200);
    port.SetBaud(115200);
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr115200);
    EXPECT_EQ(port.Baud(), 115200);
    const std::int32_t speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (std::size_t i = 0; i < std::size(speeds); ++i) {
        port.SetBaud(speeds[i]);
        EXPECT_EQ(static_cast<std::size_t>(port.BaudRate()), i);
        EXPECT_EQ(port.Baud(), speeds[i]);
    }
    port.SetBaudRate(static_cast<TBaudRate>(15));
    EXPECT_EQ(port.Baud(), 0);
}

TEST_F(MemoryPortTest, AFailedOpenLeavesNothingBehindEachTime) {
    port.SetOnOpen([&](TObject*, std::int32_t) { raised.push_back("open"); });
    port.SetComNumber(9); // no such port
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto start = Clock::now();
        port.SetOpen(true);
        EXPECT_LT(Clock::now() - start, 500ms);
        EXPECT_FALSE(port.Open());
        EXPECT_FALSE(port.HandleValid());
        EXPECT_FALSE(port.hasThreads());
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(port.OutFree(), port.OutSize()); // no buffers kept
        EXPECT_EQ(port.WriteByte('x'), 0);
        EXPECT_EQ(test::portThreads(), 0);
    }
    EXPECT_TRUE(raised.empty());

    line->FailOpen(ERROR_ACCESS_DENIED); // a port in use
    port.SetComNumber(2);
    port.SetOpen(true);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(raised.empty());
}

TEST_F(MemoryPortTest, OpenConfiguresTheDeviceAndReportsInOrder) {
    DCB initial{9600, 0x0011, 1234, 321, 7, ODDPARITY, TWOSTOPBITS, 0x11, 0x13, '?', 0x1A, '~'};
    line->SetInitialState(initial);
    port.SetOpen(false); // a close request on a closed port changes nothing
    port.SetOutSize(2048);
    port.SetOnOpen([&](TObject* sender, std::int32_t error) {
        EXPECT_EQ(sender, &port);
        EXPECT_TRUE(port.Open());
        raised.push_back("open " + std::to_string(error));
    });
    port.SetOnRLSDSignal([&](TObject*) { raised.push_back("rlsd"); });
    port.SetOnCTSSignal([&](TObject*) { raised.push_back("cts"); });
    port.SetOnDSRSignal([&](TObject*) { raised.push_back("dsr"); });
    port.SetOnRingSignal([&](TObject*) { raised.push_back("ring"); });

    const auto start = Clock::now();
    port.SetOpen(true);
    const auto took = Clock::now() - start;
    // The status thread's first report waits for the UI thread, so its start
    // signal only comes after the open's full wait.
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 2500ms);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(raised, std::vector<std::string>{"open 0"});
    ASSERT_TRUE(pumpUntil([&] { return raised.size() == 5; }, 3s));
    EXPECT_EQ(raised, (std::vector<std::string>{"open 0", "rlsd", "cts", "dsr", "ring"}));
    EXPECT_TRUE(port.cts() && port.dsr() && port.rlsd());
    EXPECT_FALSE(port.ring());

    EXPECT_EQ(line->InQueueSize(), 2048u);
    EXPECT_EQ(line->OutQueueSize(), 2048u);
    EXPECT_EQ(line->ArmedMask(), 0x01FDu);
    // Four read-modify-write cycles, each changing one field of what the device had.
    const std::vector<DCB> writes = line->StateWrites();
    ASSERT_EQ(writes.size(), 4u);
    DCB expected = initial;
    expected.BaudRate = 19200;
    expected.Flags = 0x202C;
    EXPECT_EQ(writes[0], expected);
    expected.Parity = NOPARITY;
    EXPECT_EQ(writes[1], expected);
    expected.StopBits = ONESTOPBIT;
    EXPECT_EQ(writes[2], expected);
    expected.ByteSize = 8;
    EXPECT_EQ(writes[3], expected);
    EXPECT_TRUE(line->Escapes().empty()); // the open drives neither DTR nor RTS

    port.SetParity(TParity::paEven);
    expected.Parity = EVENPARITY;
    EXPECT_EQ(line->StateWrites().back(), expected);
    port.SetStopbits(TStopbits::sb1_5);
    expected.StopBits = ONE5STOPBITS;
    EXPECT_EQ(line->StateWrites().back(), expected);
    port.SetDatabits(0x107); // the low byte goes in unchecked
    expected.ByteSize = 7;
    EXPECT_EQ(line->StateWrites().back(), expected);
    port.SetBaud(57600);
    expected.BaudRate = 57600;
    EXPECT_EQ(line->StateWrites().back(), expected);

    raised.clear();
    port.SetOpen(true); // already open
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(line->OpenCount(), 1);
}

TEST_F(MemoryPortTest, LineCommandsWhileOpenAndTheStateAfterClose) {
    int dtrSignals = 0;
    port.SetOnDTRSignal([&](TObject* sender) {
        EXPECT_EQ(sender, &port);
        ++dtrSignals;
    });
    port.SetDTR(true); // closed: stored only
    EXPECT_EQ(dtrSignals, 0);
    openAndSettle();
    port.SetDTR(true);
    port.SetDTR(true); // unchanged, raised all the same
    port.SetRTS(true);
    port.SetDTR(false);
    port.SetRTS(false);
    port.SetRTS(true);
    EXPECT_EQ(dtrSignals, 3);
    EXPECT_EQ(line->Escapes(),
              (std::vector<DWORD>{SETDTR, SETDTR, SETRTS, CLRDTR, CLRRTS, SETRTS}));
    port.SetDTR(true);

    port.SetComNumber(3); // only stored: the open device stays
    EXPECT_TRUE(line->IsOpen());
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(line->IsOpen());
    EXPECT_FALSE(port.hasThreads());
    EXPECT_EQ(line->Purges(), (std::vector<DWORD>{0x0005, 0x000A}));
    EXPECT_FALSE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_FALSE(port.ring());
    EXPECT_FALSE(port.rlsd());
    EXPECT_TRUE(port.cts()); // the last known states stay
    EXPECT_TRUE(port.dsr());
    port.SetDTR(true);
    EXPECT_EQ(dtrSignals, 4);
    port.SetOpen(false); // closing a closed port
    EXPECT_FALSE(port.Open());

    // The next open uses the new number, and the start signals the last threads
    // left behind let it through without the full wait.
    const auto start = Clock::now();
    port.SetOpen(true);
    EXPECT_LT(Clock::now() - start, 800ms);
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(other->IsOpen());
    EXPECT_EQ(line->OpenCount(), 1);
}

TEST_F(MemoryPortTest, BufferEdges) {
    port.SetOutSize(2048);
    port.SetInSize(16);
    openAndSettle();
    line->HoldOutput(true); // the device takes nothing, so the output buffer fills
    const std::string big = pattern(3000);
    EXPECT_EQ(port.WriteBuffer(big.data(), 3000), 2048);
    EXPECT_EQ(port.OutFree(), 0);
    EXPECT_EQ(port.WriteByte('x'), 0);
    port.SetOutSize(100); // takes effect at the next open only
    EXPECT_EQ(port.OutFree(), 0);
    line->HoldOutput(false);
    ASSERT_TRUE(line->WaitForSent(2048, 3s));
    EXPECT_EQ(line->TakeSent(), big.substr(0, 2048));
    EXPECT_TRUE(pumpUntil([&] { return port.OutFree() == 2048; }, 2s));

    std::string text(300, 'a');
    port.WriteString(text); // a short text: 255 at most
    ASSERT_TRUE(line->WaitForSent(2048 + 255, 3s));
    EXPECT_EQ(line->TakeSent(), std::string(255, 'a'));

    EXPECT_EQ(port.ReadByte(), 0);
    EXPECT_EQ(port.InCount(), 0);
    line->Feed(std::string("AB\0CD", 5));
    ASSERT_TRUE(pumpUntil([&] { return port.InCount() == 5; }, 2s));
    char dest[32] = {};
    EXPECT_EQ(port.ReadBuffer(dest, 2), 2);
    EXPECT_EQ(std::string(dest, 2), "AB");
    EXPECT_EQ(port.ReadByte(), 0); // the NUL byte itself
    EXPECT_EQ(port.InCount(), 2);
    EXPECT_EQ(port.ReadBuffer(dest, 10), 2);
    EXPECT_EQ(std::string(dest, 2), "CD");
    EXPECT_EQ(port.InCount(), 0);

    // A full receive buffer leaves the rest in the device until there is room.
    const std::string in = pattern(40);
    line->Feed(in);
    ASSERT_TRUE(pumpUntil([&] { return port.InCount() == 16; }, 2s));
    pumpFor(200ms);
    EXPECT_EQ(port.InCount(), 16);
    EXPECT_EQ(line->InputQueued(), 24u);
    std::string got;
    while (got.size() < in.size() && pumpUntil([&] { return port.InCount() > 0; }, 2s)) {
        const std::int32_t n = port.ReadBuffer(dest, sizeof dest);
        got.append(dest, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, in);

    port.SetOpen(false);
    EXPECT_EQ(port.ReadBuffer(dest, 4), 0);
    EXPECT_EQ(port.WriteBuffer("abc", 3), 0);
    port.WriteString("abc");
    EXPECT_EQ(port.InCount(), 0);
    EXPECT_EQ(port.OutFree(), 100);
}

TEST_F(MemoryPortTest, OutputWaitsForCtsAndFollowsInOrder) {
    line->SetModemStatus(MS_DSR_ON | MS_RLSD_ON);
    openAndSettle();
    EXPECT_FALSE(port.cts());
    port.WriteString("ATZ");
    port.WriteString("\r\n");
    pumpFor(400ms);
    EXPECT_EQ(line->SentCount(), 0u);
    EXPECT_EQ(port.OutFree(), 4096 - 5);

    const auto on = Clock::now();
    line->SetModemStatus(kAllLines);
    ASSERT_TRUE(pumpUntil([&] { return line->SentCount() == 5; }, 2s));
    // One status pass plus one writer pause.
    EXPECT_LT(Clock::now() - on, 600ms);
    EXPECT_EQ(line->TakeSent(), "ATZ\r\n");
    EXPECT_TRUE(pumpUntil([&] { return port.OutFree() == 4096; }, 1s));
}

TEST_F(MemoryPortTest, TriggerAvailRepeatsWhileBytesWait) {
    std::vector<std::pair<Clock::time_point, std::uint16_t>> calls;
    port.SetOnTriggerAvail([&](TObject* sender, std::uint16_t count) {
        EXPECT_EQ(sender, &port);
        calls.emplace_back(Clock::now(), count);
    });
    openAndSettle();
    line->Feed("RING\r\n");
    ASSERT_TRUE(pumpUntil([&] { return !calls.empty(); }, 2s));
    pumpFor(100ms); // the passes that follow the data's own device event
    const std::size_t first = calls.size();
    pumpFor(1600ms);
    ASSERT_GE(calls.size(), first + 2);
    EXPECT_LE(calls.size(), first + 5);
    for (std::size_t i = first; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, 6);
        const auto gap = calls[i].first - calls[i - 1].first;
        if (i > first) {
            EXPECT_GT(gap, 350ms);
            EXPECT_LT(gap, 800ms);
        }
    }
    port.SetOnTriggerAvail({});
    calls.clear();
    pumpFor(700ms);
    EXPECT_TRUE(calls.empty());
}

TEST_F(MemoryPortTest, PurgesEmptyTheDeviceAndTheBuffers) {
    port.PurgeIn(); // closed: counts only
    port.PurgeOut();
    EXPECT_EQ(port.InCount(), 0);
    EXPECT_EQ(port.OutFree(), 4096);

    port.SetInSize(8);
    openAndSettle();
    line->Feed(pattern(20));
    ASSERT_TRUE(pumpUntil([&] { return port.InCount() == 8; }, 2s));
    port.PurgeIn();
    EXPECT_EQ(port.InCount(), 0);
    EXPECT_EQ(line->InputQueued(), 0u);
    pumpFor(700ms);
    EXPECT_EQ(port.InCount(), 0);

    line->HoldOutput(true);
    port.WriteString("stale");
    pumpFor(300ms); // the writer is now waiting for the device
    port.PurgeOut();
    EXPECT_EQ(port.OutFree(), 4096);
    line->HoldOutput(false);
    port.WriteString("fresh");
    ASSERT_TRUE(line->WaitForSent(5, 2s));
    pumpFor(300ms);
    EXPECT_EQ(line->TakeSent(), "fresh");
    EXPECT_EQ(line->Purges(), (std::vector<DWORD>{0x000A, 0x0005}));
}

TEST_F(MemoryPortTest, CloseFinishesWhileFlowControlHoldsAWrite) {
    openAndSettle();
    line->HoldOutput(true);
    port.WriteBuffer(pattern(1000).data(), 1000);
    pumpFor(300ms);
    line->SetModemStatus(MS_DSR_ON | MS_RLSD_ON); // CTS drops during the write
    // The UI thread is not held by the writer's wait.
    const auto write = Clock::now();
    port.WriteString("x");
    EXPECT_LT(Clock::now() - write, 50ms);
    const auto start = Clock::now();
    port.SetOpen(false);
    EXPECT_LT(Clock::now() - start, 1500ms);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.hasThreads());
}

TEST_F(MemoryPortTest, EventsDispatchInTheirFixedOrderAndHandlerFailuresAreSurvived) {
    port.SetOnRLSDSignal([&](TObject*) { raised.push_back("rlsd"); });
    port.SetOnBreakSignal([&](TObject*) { raised.push_back("break"); });
    port.SetOnCTSSignal([&](TObject*) { raised.push_back("cts"); });
    port.SetOnDSRSignal([&](TObject*) { raised.push_back("dsr"); });
    port.SetOnErrorSignal([&](TObject*, std::int32_t) { raised.push_back("error"); });
    port.SetOnTxEmptySignal([&](TObject*) { raised.push_back("txempty"); });
    port.SetOnRxDSignal([&](TObject*) { raised.push_back("rxd"); });
    port.SetOnTxDSignal([&](TObject*) { raised.push_back("txd"); });
    bool throwOnRing = false;
    port.SetOnRingSignal([&](TObject*) {
        raised.push_back("ring");
        if (throwOnRing) throw std::runtime_error("handler failed");
    });
    openAndSettle();
    raised.clear();
    line->InjectEvents(EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK |
                       EV_ERR | EV_RING);
    ASSERT_TRUE(pumpUntil([&] { return raised.size() >= 7; }, 2s));
    EXPECT_EQ(raised, (std::vector<std::string>{"rlsd", "break", "cts", "dsr", "error", "ring",
                                                "txempty"}));

    // A failing handler ends its own dispatch; the status thread goes on.
    throwOnRing = true;
    raised.clear();
    line->InjectEvents(EV_RING | EV_TXEMPTY);
    ASSERT_TRUE(pumpUntil([&] { return !raised.empty(); }, 2s));
    pumpFor(200ms);
    EXPECT_EQ(raised, std::vector<std::string>{"ring"});
    throwOnRing = false;
    raised.clear();
    line->InjectEvents(EV_RING);
    ASSERT_TRUE(pumpUntil([&] { return !raised.empty(); }, 2s));
    EXPECT_EQ(raised, std::vector<std::string>{"ring"});
    EXPECT_FALSE(port.ring()); // the ring flag keeps its value from the open
    port.SetOpen(false);
    EXPECT_FALSE(port.hasThreads());
}

TEST_F(MemoryPortTest, TheReaderAnnouncesNewBytesToItsCallback) {
    std::atomic<int> calls{0};
    port.SetDataReadyCallback([&] { ++calls; });
    openAndSettle();
    pumpFor(600ms);
    EXPECT_EQ(calls, 0); // passes that move nothing stay quiet
    line->Feed("OK\r\n");
    ASSERT_TRUE(pumpUntil([&] { return calls > 0; }, 2s));
    EXPECT_EQ(port.InCount(), 4);
    port.SetDataReadyCallback({});
    const int before = calls;
    line->Feed("RING\r\n");
    ASSERT_TRUE(pumpUntil([&] { return port.InCount() == 10; }, 2s));
    EXPECT_EQ(calls, before);
}

TEST_F(MemoryPortTest, AVanishedDeviceNeitherSpinsNorHangsTheClose) {
    openAndSettle();
    port.WriteString("pending");
    EXPECT_FALSE(port.DeviceLost());
    line->HangUp();
    EXPECT_TRUE(pumpUntil([&] { return port.DeviceLost(); }, 2s));
    const double cpu = test::cpuSeconds();
    pumpFor(1000ms);
    EXPECT_LT(test::cpuSeconds() - cpu, 0.2);
    const auto start = Clock::now();
    port.SetOpen(false);
    EXPECT_LT(Clock::now() - start, 1500ms);
    EXPECT_FALSE(port.hasThreads());
    EXPECT_FALSE(port.DeviceLost());
}

} // namespace
} // namespace tarvik
