#include "serial/CommPort.h"

#include "platform/log_categories.h"
#include "serial/com_names.h"
#include "serial/comm_threads.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using comm::DWORD;

constexpr std::array<std::int32_t, 15> kSpeeds = {110,   300,   600,    1200,   2400,
                                                  4800,  9600,  14400,  19200,  38400,
                                                  56000, 57600, 115200, 128000, 256000};

constexpr auto kStartWait = 1000ms;
constexpr auto kSettlePause = 100ms;

// The short text limit of the strings the port queues.
constexpr std::size_t kShortTextMax = 255;

template <class Thread> void stopThread(std::unique_ptr<Thread>& thread) {
    if (!thread) return;
    thread->Thread().Terminate();
    thread->Thread().WaitFor();
    thread.reset();
}

} // namespace

std::int32_t BaudRateSpeed(TBaudRate rate) noexcept {
    const auto ordinal = static_cast<std::size_t>(rate);
    return ordinal < kSpeeds.size() ? kSpeeds[ordinal] : 0;
}

std::optional<TBaudRate> BaudRateOf(std::int32_t speed) noexcept {
    const auto found = std::find(kSpeeds.begin(), kSpeeds.end(), speed);
    if (found == kSpeeds.end()) return std::nullopt;
    return static_cast<TBaudRate>(found - kSpeeds.begin());
}

std::uint8_t ParityByte(TParity parity) noexcept {
    return static_cast<std::uint8_t>(parity);
}

std::uint8_t StopbitsByte(TStopbits stopbits) noexcept {
    return static_cast<std::uint8_t>(stopbits);
}

TCustomCommPort::TCustomCommPort(TComponent* AOwner)
    : TComponent(AOwner) {}

TCustomCommPort::~TCustomCommPort() {
    ClosePort();
}

// --- properties ----------------------------------------------------------------

template <class Change> void TCustomCommPort::ApplyLineSetting(Change change) {
    if (!HandleValid()) return;
    // Read-modify-write: only the one setting changes, the rest is the device's.
    FHandle->GetCommState(FDCB);
    change(FDCB);
    FHandle->SetCommState(FDCB);
}

void TCustomCommPort::SetBaudRate(TBaudRate value) {
    FBaudRate = value;
    ApplyLineSetting([this](comm::DCB& dcb) {
        dcb.BaudRate = static_cast<DWORD>(BaudRateSpeed(FBaudRate));
        dcb.Flags = kCommFlags;
    });
}

void TCustomCommPort::SetParity(TParity value) {
    FParity = value;
    ApplyLineSetting([this](comm::DCB& dcb) { dcb.Parity = ParityByte(FParity); });
}

void TCustomCommPort::SetStopbits(TStopbits value) {
    FStopbits = value;
    ApplyLineSetting([this](comm::DCB& dcb) { dcb.StopBits = StopbitsByte(FStopbits); });
}

void TCustomCommPort::SetDatabits(std::int32_t value) {
    FDatabits = value;
    ApplyLineSetting(
        [this](comm::DCB& dcb) { dcb.ByteSize = static_cast<std::uint8_t>(FDatabits); });
}

void TCustomCommPort::SetBaud(std::int32_t value) {
    if (const std::optional<TBaudRate> rate = BaudRateOf(value)) SetBaudRate(*rate);
}

void TCustomCommPort::SetOpen(bool value) {
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomCommPort::SetDTR(bool value) {
    FDTR = value;
    if (FOpen) FHandle->EscapeCommFunction(value ? comm::SETDTR : comm::CLRDTR);
    if (FOnDTRSignal && FStatusThread) FStatusThread->DoDTRSignal();
}

void TCustomCommPort::SetRTS(bool value) {
    FRTS = value;
    if (FOpen) FHandle->EscapeCommFunction(value ? comm::SETRTS : comm::CLRRTS);
}

void TCustomCommPort::SetOnTriggerAvail(TTriggerAvailEvent value) {
    FOnTriggerAvail = std::move(value);
    FTriggerAvailAssigned = static_cast<bool>(FOnTriggerAvail);
}

void TCustomCommPort::SetDataReadyCallback(std::function<void()> callback) {
    std::lock_guard guard(FDataReadyLock);
    FDataReady = std::move(callback);
}

void TCustomCommPort::NotifyDataReady() {
    std::lock_guard guard(FDataReadyLock);
    if (FDataReady) FDataReady();
}

void TCustomCommPort::NoteFailedCall() noexcept {
    if (comm::GetLastError() == comm::ERROR_BAD_COMMAND) FDeviceLost = true;
}

void TCustomCommPort::PauseThread(std::chrono::milliseconds time) {
    FStopWake.WaitFor(time);
}

void TCustomCommPort::SleepWhileLost() {
    // The close sets FClosing before it wakes us; the limit is only a safeguard.
    while (FDeviceLost && !FClosing)
        FStopWake.WaitFor(1s);
}

void TCustomCommPort::SetLineStates(DWORD status, bool withRing) noexcept {
    FCTS = (status & comm::MS_CTS_ON) != 0;
    FDSR = (status & comm::MS_DSR_ON) != 0;
    if (withRing) FRing = (status & comm::MS_RING_ON) != 0;
    FRLSD = (status & comm::MS_RLSD_ON) != 0;
}

// --- open and close ------------------------------------------------------------

void TCustomCommPort::OpenPort() {
    if (FOpen) return;
    FOutBufSize = std::max(0, FOutSize);
    FInBufSize = std::max(0, FInSize);
    FOutBuf = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(FOutBufSize));
    FInBuf = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(FInBufSize));
    comm::SetLastError(comm::ERROR_SUCCESS);
    // A COM name is looked up when it opens; a device path is opened as it is.
    FHandle = comm::CreateFileA(FDevicePath.empty() ? comm::ComPortName(FComNumber) : FDevicePath);
    FOpenError = {};
    if (!HandleValid()) {
        FOpenError = {comm::LastDeviceError(), comm::portName(FComNumber, FDevicePath),
                      comm::portDevicePath(FComNumber, FDevicePath)};
        qCDebug(lcSerial) << FOpenError.portName.c_str()
                          << "did not open:" << FOpenError.device.c_str() << FOpenError.systemError;
        FOutBuf.reset();
        FInBuf.reset();
        FOutBufSize = FInBufSize = 0;
        return;
    }
    FHandle->SetupComm(static_cast<DWORD>(FInSize), static_cast<DWORD>(FOutSize));
    // Reads return at once with what the device holds: the reader only asks for
    // bytes already queued, and must never wait for more while it holds FInLock.
    FHandle->SetCommTimeouts({comm::MAXDWORD, 0, 0, 0, 0});
    SetBaudRate(FBaudRate);
    SetParity(FParity);
    SetStopbits(FStopbits);
    SetDatabits(FDatabits);
    FClosing = false;
    FStopWake.Reset();
    FDeviceLost = false;
    FStatusThread = std::make_unique<TStatusThread>(*this);
    FStatusStarted.WaitFor(kStartWait);
    FHandle->SetCommMask(kOpenEventMask);
    FReadThread = std::make_unique<TReadThread>(*this);
    FReadStarted.WaitFor(kStartWait);
    FWriteThread = std::make_unique<TWriteThread>(*this);
    FWriteStarted.WaitFor(kStartWait);
    FOpen = true;
    qCDebug(lcSerial) << comm::portName(FComNumber, FDevicePath).c_str() << "opened";
    if (FOnOpen) FOnOpen(this, static_cast<std::int32_t>(comm::GetLastError()));
    std::this_thread::sleep_for(kSettlePause);
}

void TCustomCommPort::ClosePort() {
    FClosing = true;
    FStopWake.Set();
    if (!FOpen) return;
    FRing = false;
    FRLSD = false;
    PurgeOut();
    PurgeIn();
    stopThread(FWriteThread);
    FRxWake.Set();
    stopThread(FReadThread);
    FHandle->SetCommMask(0);
    stopThread(FStatusThread);
    FHandle.reset();
    FDTR = false;
    FInBuf.reset();
    FOutBuf.reset();
    FInBufSize = FOutBufSize = 0;
    FInCount = 0;
    FOutCount = 0;
    FDeviceLost = false;
    std::this_thread::sleep_for(kSettlePause);
    FOpen = false;
}

// --- buffers -----------------------------------------------------------------

std::int32_t TCustomCommPort::InCount() const noexcept {
    return FInCount;
}

std::int32_t TCustomCommPort::OutFree() const noexcept {
    return FOutBuf ? FOutBufSize - FOutCount : FOutSize;
}

std::int32_t TCustomCommPort::ReadBuffer(void* Dest, std::int32_t Count) {
    if (!HandleValid() || Count <= 0) return 0;
    std::lock_guard guard(FInLock);
    const std::int32_t held = FInCount;
    const std::int32_t n = std::min(Count, held);
    std::memcpy(Dest, FInBuf.get(), static_cast<std::size_t>(n));
    std::memmove(FInBuf.get(), FInBuf.get() + n, static_cast<std::size_t>(held - n));
    FInCount = held - n;
    // The reader left bytes in the device for want of room: let it fetch them
    // now rather than at its next half-second pass.
    if (n > 0 && FInLeftBehind.exchange(false)) FRxWake.Set();
    return n;
}

std::uint8_t TCustomCommPort::ReadByte() {
    std::uint8_t value = 0;
    if (FInCount > 0) ReadBuffer(&value, 1);
    return value;
}

std::int32_t TCustomCommPort::WriteBuffer(const void* Source, std::int32_t Count) {
    if (!HandleValid() || Count <= 0) return 0;
    std::lock_guard guard(FOutLock);
    const std::int32_t held = FOutCount;
    const std::int32_t n = std::min(Count, FOutBufSize - held);
    std::memcpy(FOutBuf.get() + held, Source, static_cast<std::size_t>(n));
    FOutCount = held + n;
    return n;
}

std::int32_t TCustomCommPort::WriteByte(std::uint8_t Value) {
    return WriteBuffer(&Value, 1);
}

void TCustomCommPort::WriteString(std::string_view S) {
    S = S.substr(0, kShortTextMax);
    if (!S.empty()) WriteBuffer(S.data(), static_cast<std::int32_t>(S.size()));
}

void TCustomCommPort::PurgeIn() {
    // The device first: that aborts a transfer a thread may be waiting for under the lock.
    if (HandleValid()) FHandle->PurgeComm(comm::PURGE_RXABORT | comm::PURGE_RXCLEAR);
    std::lock_guard guard(FInLock);
    FInCount = 0;
}

void TCustomCommPort::PurgeOut() {
    {
        std::lock_guard gate(FWriteGate);
        ++FOutPurges;
    }
    if (HandleValid()) FHandle->PurgeComm(comm::PURGE_TXABORT | comm::PURGE_TXCLEAR);
    std::lock_guard guard(FOutLock);
    FOutCount = 0;
}

// --- events ------------------------------------------------------------------

void TCustomCommPort::DispatchCommEvents(TObject* /*Thread*/, DWORD Mask) {
    DWORD errors = 0;
    if (HandleValid()) FHandle->ClearCommError(&errors, nullptr);
    // The fixed order in which the handlers of one mask run.
    static constexpr std::pair<DWORD, TNotifyEvent TCustomCommPort::*> kBefore[] = {
        {comm::EV_RLSD, &TCustomCommPort::FOnRLSDSignal},
        {comm::EV_BREAK, &TCustomCommPort::FOnBreakSignal},
        {comm::EV_CTS, &TCustomCommPort::FOnCTSSignal},
        {comm::EV_DSR, &TCustomCommPort::FOnDSRSignal},
    };
    static constexpr std::pair<DWORD, TNotifyEvent TCustomCommPort::*> kAfter[] = {
        {comm::EV_RING, &TCustomCommPort::FOnRingSignal},
        {comm::EV_TXEMPTY, &TCustomCommPort::FOnTxEmptySignal},
    };
    const auto raise = [&](const auto& table) {
        for (const auto& [bit, handler] : table)
            if ((Mask & bit) && this->*handler) (this->*handler)(this);
    };
    raise(kBefore);
    if ((Mask & comm::EV_ERR) && FOnErrorSignal)
        FOnErrorSignal(this, static_cast<std::int32_t>(errors));
    raise(kAfter);
}

} // namespace tarvik
