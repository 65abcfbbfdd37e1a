#include "serial/comm_threads.h"

#include "platform/ui_handover.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using comm::DWORD;

constexpr auto kReadPoll = 500ms;
constexpr auto kWritePause = 100ms;
constexpr auto kStatusRetryPause = 100ms;
constexpr auto kRetryPause = 50ms;
constexpr DWORD kInitialReportMask = comm::EV_CTS | comm::EV_DSR | comm::EV_RLSD | comm::EV_RING;
constexpr DWORD kLineChangeMask =
    comm::EV_CTS | comm::EV_DSR | comm::EV_RLSD | comm::EV_ERR | comm::EV_RING;

// A blocking UI-thread call whose exception is the UI side's business: the
// thread goes on with its loop.
void handOverQuietly(const std::function<void()>& step) noexcept {
    try {
        runOnUiThread(step);
    } catch (...) {
    }
}

// Finishes a started transfer: true with the count when it completed, at once or
// after waiting for it; false when it failed or was aborted.
bool finishTransfer(comm::CommDevice& device, comm::OVERLAPPED& ov, bool startedOk, DWORD& count) {
    if (startedOk) return true;
    if (comm::GetLastError() != comm::ERROR_IO_PENDING) return false;
    if (!device.GetOverlappedResult(ov, &count, true)) return false;
    ov.hEvent.Reset();
    return true;
}

} // namespace

// --- reader ------------------------------------------------------------------

TReadThread::TReadThread(TCustomCommPort& AComPort)
    : FHandle(AComPort.FHandle.get())
    , FComPort(AComPort)
    , FTriggerStep([this] { DoTriggerAvail(); })
    , FThread([this](const WorkerThread& self) { Execute(self); }, "tarvik-read") {}

void TReadThread::Execute(const WorkerThread& self) {
    TCustomCommPort& port = FComPort;
    port.FReadStarted.Set();
    auto wait = kReadPoll;
    for (;;) {
        if (port.FDeviceLost) {
            port.SleepWhileLost();
        } else if (!port.FRxWake.WaitFor(wait)) {
            // Read at least every half second, device events or not.
            port.FRxWake.Set();
        } else {
            if (port.FClosing) break;
            // A device that failed is tried again soon, not at the next half second.
            wait = ReadPass() ? kReadPoll : kRetryPause;
        }
        if (port.FClosing || self.Terminated()) break;
    }
    port.FReadStarted.Set();
}

bool TReadThread::ReadPass() {
    TCustomCommPort& port = FComPort;
    DWORD errors = 0;
    comm::COMSTAT stat;
    bool ok = port.HandleValid() && FHandle->ClearCommError(&errors, &stat);
    if (!ok) port.NoteFailedCall();
    const DWORD waiting = ok ? stat.cbInQue : 0;
    DWORD got = 0;
    {
        std::lock_guard guard(port.FInLock);
        const std::int32_t held = port.FInCount;
        const DWORD room = static_cast<DWORD>(std::max(0, port.FInBufSize - held));
        const DWORD count = std::min(waiting, room);
        if (count > 0 && port.HandleValid()) {
            DWORD n = 0;
            const bool started =
                FHandle->ReadFile(port.FInBuf.get() + held, count, &n, FOverlapped);
            if (finishTransfer(*FHandle, FOverlapped, started, n)) {
                got = std::min(n, count);
            } else {
                port.NoteFailedCall();
                ok = false;
            }
            port.FInCount = std::min(held + static_cast<std::int32_t>(got), port.FInBufSize);
        }
        port.FInLeftBehind = waiting > count;
    }
    if (got > 0) port.NotifyDataReady();
    if (port.FInCount > 0 && port.FTriggerAvailAssigned) handOverQuietly(FTriggerStep);
    return ok;
}

void TReadThread::DoTriggerAvail() {
    if (FComPort.FOnTriggerAvail)
        FComPort.FOnTriggerAvail(&FComPort, static_cast<std::uint16_t>(FComPort.FInCount));
}

// --- writer ------------------------------------------------------------------

TWriteThread::TWriteThread(TCustomCommPort& AComPort)
    : FHandle(AComPort.FHandle.get())
    , FComPort(AComPort)
    , FSending(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(AComPort.FOutBufSize)))
    , FThread([this](const WorkerThread& self) { Execute(self); }, "tarvik-write") {}

void TWriteThread::Execute(const WorkerThread& self) {
    TCustomCommPort& port = FComPort;
    port.FWriteStarted.Set();
    for (;;) {
        if (port.FOutCount > 0 && !port.FDeviceLost) {
            WritePending();
            if (port.FClosing) break;
        }
        if (port.FDeviceLost)
            port.SleepWhileLost();
        else
            port.PauseThread(kWritePause);
        if (port.FClosing || self.Terminated()) break;
    }
    port.FWriteStarted.Set();
}

void TWriteThread::WritePending() {
    TCustomCommPort& port = FComPort;
    DWORD count = 0;
    std::uint32_t purges = 0;
    {
        std::lock_guard guard(port.FOutLock);
        DWORD errors = 0;
        comm::COMSTAT stat;
        if (port.HandleValid() && !FHandle->ClearCommError(&errors, &stat)) port.NoteFailedCall();
        const auto room = std::max<std::int64_t>(0, std::int64_t{port.FOutBufSize} - stat.cbOutQue);
        count = static_cast<DWORD>(std::min<std::int64_t>(port.FOutCount, room));
        if (count > 0 && port.HandleValid() && !port.FClosing && port.FCTS && !port.FDeviceLost)
            std::memcpy(FSending.get(), port.FOutBuf.get(), count);
        else
            count = 0;
        purges = port.FOutPurges;
    }
    if (count == 0) return;
    // The device may hold the write back for as long as flow control says; only
    // a purge ends it early. The UI thread meanwhile keeps adding behind it.
    DWORD written = 0;
    bool started = false;
    {
        std::lock_guard gate(port.FWriteGate);
        if (port.FClosing || purges != port.FOutPurges) return; // discarded since the copy
        started = FHandle->WriteFile(FSending.get(), count, &written, FOverlapped);
    }
    if (!finishTransfer(*FHandle, FOverlapped, started, written)) {
        port.NoteFailedCall();
        return;
    }
    std::lock_guard guard(port.FOutLock);
    if (purges != port.FOutPurges) return; // what was sent had been discarded meanwhile
    const std::int32_t held = port.FOutCount;
    const std::int32_t sent = std::min(held, static_cast<std::int32_t>(std::min(written, count)));
    if (held > sent)
        std::memmove(port.FOutBuf.get(), port.FOutBuf.get() + sent,
                     static_cast<std::size_t>(held - sent));
    port.FOutCount = held - sent;
}

// --- status ------------------------------------------------------------------

TStatusThread::TStatusThread(TCustomCommPort& AComPort)
    : FComPort(AComPort)
    , FHandle(AComPort.FHandle.get())
    , FDeliverStep([this] { DeliverEvents(); })
    , FThread([this](const WorkerThread& self) { Execute(self); }, "tarvik-status") {}

void TStatusThread::HandOver() {
    handOverQuietly(FDeliverStep);
}

void TStatusThread::DeliverEvents() {
    FComPort.DispatchCommEvents(this, FEventMask);
}

void TStatusThread::DoDTRSignal() {
    if (FComPort.FOnDTRSignal) FComPort.FOnDTRSignal(&FComPort);
}

void TStatusThread::Execute(const WorkerThread& self) {
    TCustomCommPort& port = FComPort;
    DWORD status = 0;
    if (port.HandleValid() && FHandle->GetCommModemStatus(&status)) {
        port.SetLineStates(status, true);
        FEventMask = kInitialReportMask;
        HandOver();
    }
    port.FStatusStarted.Set();
    while (!port.FClosing) {
        if (port.FDeviceLost) {
            port.SleepWhileLost();
            continue;
        }
        bool ok = FHandle->WaitCommEvent(&FEventMask, FOverlapped);
        const DWORD error = ok ? comm::ERROR_SUCCESS : comm::GetLastError();
        if (!ok) port.PauseThread(kStatusRetryPause);
        if (port.FClosing) break;
        if (!ok && error == comm::ERROR_IO_PENDING) {
            DWORD unused = 0;
            ok = FHandle->GetOverlappedResult(FOverlapped, &unused, true);
            if (ok) FOverlapped.hEvent.Reset();
        }
        if (!ok) port.NoteFailedCall();
        if (port.FClosing) break;
        if (ok && port.HandleValid()) port.FRxWake.Set();
        if (ok && (FEventMask & kLineChangeMask)) {
            if (FHandle->GetCommModemStatus(&status))
                port.SetLineStates(status, false);
            else
                port.NoteFailedCall();
        }
        if (ok) HandOver();
        if (port.FClosing || self.Terminated()) break;
    }
    port.FStatusStarted.Set();
}

} // namespace tarvik
