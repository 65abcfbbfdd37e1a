#pragma once
// The serial port component: configuration, open and close, the receive and
// output buffers that its three background threads fill and empty, and the line
// events those threads hand to the UI thread.
#include "platform/sync_event.h"
#include "serial/comm_device.h"
#include "serial/port_diagnosis.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

class TObject {
public:
    virtual ~TObject() = default;
};

// Owner base of the components. The owner is remembered, not managed.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner = nullptr)
        : FOwner(AOwner) {}
    TComponent* Owner() const noexcept { return FOwner; }

private:
    TComponent* FOwner;
};

enum class TBaudRate : std::uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000,
};

enum class TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };

enum class TStopbits : std::uint8_t { sb1_0, sb1_5, sb2_0 };

enum class TC32EventState : std::uint8_t {
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty,
};

// A set of TC32EventState in 16 bits: bit n stands for ordinal n.
class TC32EventType {
public:
    constexpr TC32EventType() = default;
    constexpr TC32EventType(std::initializer_list<TC32EventState> states) {
        for (TC32EventState s : states)
            Include(s);
    }
    static constexpr TC32EventType FromBits(std::uint16_t bits) {
        TC32EventType set;
        set.FBits = bits;
        return set;
    }
    static constexpr TC32EventType All() { return FromBits(0x01FF); }

    constexpr std::uint16_t Bits() const { return FBits; }
    constexpr bool Contains(TC32EventState s) const { return FBits & bit(s); }
    constexpr void Include(TC32EventState s) { FBits |= bit(s); }
    constexpr bool operator==(const TC32EventType&) const = default;

private:
    static constexpr std::uint16_t bit(TC32EventState s) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(s));
    }
    std::uint16_t FBits = 0;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TC32OpenEvent = std::function<void(TObject* Sender, std::int32_t Error)>;
using TC32ErrorEvent = std::function<void(TObject* Sender, std::int32_t Errors)>;
using TTriggerAvailEvent = std::function<void(TObject* Sender, std::uint16_t Count)>;

// Speed in bits per second of each TBaudRate; 0 for an ordinal outside the table.
std::int32_t BaudRateSpeed(TBaudRate rate) noexcept;
// The TBaudRate of a speed; none for speeds not in the table.
std::optional<TBaudRate> BaudRateOf(std::int32_t speed) noexcept;
// The parity and stop-bits bytes of the control block.
std::uint8_t ParityByte(TParity parity) noexcept;
std::uint8_t StopbitsByte(TStopbits stopbits) noexcept;

// The flags word every speed write puts into the control block: output flow by
// CTS and by DSR, DTR and RTS in handshake mode, everything else off.
inline constexpr comm::DWORD kCommFlags = 0x202C;
// The device events armed at open: all but the event character.
inline constexpr comm::DWORD kOpenEventMask = 0x01FD;

class TReadThread;
class TWriteThread;
class TStatusThread;

class TCustomCommPort : public TComponent {
public:
    explicit TCustomCommPort(TComponent* AOwner = nullptr);
    ~TCustomCommPort() override;
    TCustomCommPort(const TCustomCommPort&) = delete;
    TCustomCommPort& operator=(const TCustomCommPort&) = delete;

    bool HandleValid() const noexcept { return FHandle != nullptr; }
    void OpenPort();
    void ClosePort();

    // True once the device behind the open port has gone for good (unplugged,
    // or its far end closed): the port then moves nothing and its threads sleep
    // until it is closed. The port does not close itself; the close clears this.
    bool DeviceLost() const noexcept { return FDeviceLost; }

    // Why the last open failed; empty after an open that succeeded.
    const comm::PortError& LastOpenError() const noexcept { return FOpenError; }

    // Buffer operations for the UI thread.
    std::int32_t InCount() const noexcept;
    std::int32_t OutFree() const noexcept;
    std::int32_t ReadBuffer(void* Dest, std::int32_t Count);
    std::uint8_t ReadByte();
    std::int32_t WriteBuffer(const void* Source, std::int32_t Count);
    std::int32_t WriteByte(std::uint8_t Value);
    void WriteString(std::string_view S); // a short text: what passes 255 bytes is cut
    void PurgeIn();
    void PurgeOut();

    // The event dispatcher; runs on the UI thread, handed over by the status thread.
    void DispatchCommEvents(TObject* Thread, comm::DWORD Mask);

    // Called on the reader thread each time it has moved bytes into the receive
    // buffer, so the UI loop can be woken instead of polling. May be set from any
    // thread; once this returns, the previous callback is no longer running or
    // called. The callback must be quick and must not wait for the UI thread.
    void SetDataReadyCallback(std::function<void()> callback);

    // The component's properties: the line's settings and the event handlers.
    std::int32_t ComNumber() const noexcept { return FComNumber; }
    void SetComNumber(std::int32_t value) noexcept { FComNumber = value; }
    // A device path that names the port instead of ComNumber; empty for none.
    void SetDevicePath(std::string value) { FDevicePath = std::move(value); }
    TBaudRate BaudRate() const noexcept { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const noexcept { return FParity; }
    void SetParity(TParity value);
    TStopbits Stopbits() const noexcept { return FStopbits; }
    void SetStopbits(TStopbits value);
    std::int32_t Databits() const noexcept { return FDatabits; }
    void SetDatabits(std::int32_t value);
    std::int32_t InSize() const noexcept { return FInSize; }
    void SetInSize(std::int32_t value) noexcept { FInSize = value; }
    std::int32_t OutSize() const noexcept { return FOutSize; }
    void SetOutSize(std::int32_t value) noexcept { FOutSize = value; }
    bool Open() const noexcept { return FOpen; }
    void SetOpen(bool value);
    bool DTR() const noexcept { return FDTR; }
    void SetDTR(bool value);
    bool RTS() const noexcept { return FRTS; }
    void SetRTS(bool value);
    std::int32_t Baud() const noexcept { return BaudRateSpeed(FBaudRate); }
    void SetBaud(std::int32_t value);
    TC32EventType MonitorEvents() const noexcept { return FMonitorEvents; }

    const TC32OpenEvent& OnOpen() const noexcept { return FOnOpen; }
    void SetOnOpen(TC32OpenEvent value) { FOnOpen = std::move(value); }
    const TNotifyEvent& OnBreakSignal() const noexcept { return FOnBreakSignal; }
    void SetOnBreakSignal(TNotifyEvent value) { FOnBreakSignal = std::move(value); }
    const TNotifyEvent& OnCTSSignal() const noexcept { return FOnCTSSignal; }
    void SetOnCTSSignal(TNotifyEvent value) { FOnCTSSignal = std::move(value); }
    const TNotifyEvent& OnDSRSignal() const noexcept { return FOnDSRSignal; }
    void SetOnDSRSignal(TNotifyEvent value) { FOnDSRSignal = std::move(value); }
    const TC32ErrorEvent& OnErrorSignal() const noexcept { return FOnErrorSignal; }
    void SetOnErrorSignal(TC32ErrorEvent value) { FOnErrorSignal = std::move(value); }
    const TNotifyEvent& OnRingSignal() const noexcept { return FOnRingSignal; }
    void SetOnRingSignal(TNotifyEvent value) { FOnRingSignal = std::move(value); }
    const TNotifyEvent& OnRLSDSignal() const noexcept { return FOnRLSDSignal; }
    void SetOnRLSDSignal(TNotifyEvent value) { FOnRLSDSignal = std::move(value); }
    const TTriggerAvailEvent& OnTriggerAvail() const noexcept { return FOnTriggerAvail; }
    void SetOnTriggerAvail(TTriggerAvailEvent value);
    const TNotifyEvent& OnTxEmptySignal() const noexcept { return FOnTxEmptySignal; }
    void SetOnTxEmptySignal(TNotifyEvent value) { FOnTxEmptySignal = std::move(value); }
    const TNotifyEvent& OnDTRSignal() const noexcept { return FOnDTRSignal; }
    void SetOnDTRSignal(TNotifyEvent value) { FOnDTRSignal = std::move(value); }
    const TNotifyEvent& OnRxDSignal() const noexcept { return FOnRxDSignal; }
    void SetOnRxDSignal(TNotifyEvent value) { FOnRxDSignal = std::move(value); }
    const TNotifyEvent& OnTxDSignal() const noexcept { return FOnTxDSignal; }
    void SetOnTxDSignal(TNotifyEvent value) { FOnTxDSignal = std::move(value); }

protected:
    comm::CommHandle FHandle;
    comm::DCB FDCB;
    std::unique_ptr<TStatusThread> FStatusThread;
    std::unique_ptr<TWriteThread> FWriteThread;
    std::unique_ptr<TReadThread> FReadThread;

    std::int32_t FComNumber = 2;
    std::string FDevicePath;
    comm::PortError FOpenError;
    TBaudRate FBaudRate = TBaudRate::cbr19200;
    TParity FParity = TParity::paNone;
    TStopbits FStopbits = TStopbits::sb1_0;
    std::int32_t FDatabits = 8;
    std::int32_t FInSize = 2048;
    std::int32_t FOutSize = 4096;
    TC32EventType FMonitorEvents = TC32EventType::All();

    TC32OpenEvent FOnOpen;
    TNotifyEvent FOnBreakSignal;
    TNotifyEvent FOnCTSSignal;
    TNotifyEvent FOnDSRSignal;
    TC32ErrorEvent FOnErrorSignal;
    TNotifyEvent FOnRingSignal;
    TNotifyEvent FOnRLSDSignal;
    TTriggerAvailEvent FOnTriggerAvail;
    TNotifyEvent FOnTxEmptySignal;
    TNotifyEvent FOnDTRSignal;
    TNotifyEvent FOnRxDSignal;
    TNotifyEvent FOnTxDSignal;

    bool FDTR = false;
    bool FRTS = false;
    // Line states: written by the status thread (and cleared by the close), read anywhere.
    std::atomic<bool> FRLSD{false};
    std::atomic<bool> FCTS{false};
    std::atomic<bool> FDSR{false};
    bool FOpen = false;
    SyncEvent FRxWake;
    SyncEvent FStatusStarted;
    SyncEvent FReadStarted;
    SyncEvent FWriteStarted;
    std::atomic<bool> FClosing{false};
    std::mutex FOutLock;
    std::mutex FInLock;
    // The buffers keep the sizes in force when the port was opened.
    std::unique_ptr<std::uint8_t[]> FOutBuf;
    std::int32_t FOutBufSize = 0;
    std::atomic<std::int32_t> FOutCount{0}; // written under FOutLock
    std::unique_ptr<std::uint8_t[]> FInBuf;
    std::int32_t FInBufSize = 0;
    std::atomic<std::int32_t> FInCount{0}; // written under FInLock
    std::atomic<bool> FRing{false};

private:
    friend class TReadThread;
    friend class TWriteThread;
    friend class TStatusThread;

    template <class Change> void ApplyLineSetting(Change change);
    void SetLineStates(comm::DWORD status, bool withRing) noexcept;
    void NotifyDataReady();
    // For the threads, after a device call failed: notes a device that has gone.
    void NoteFailedCall() noexcept;
    // For the threads: a pause that the close cuts short.
    void PauseThread(std::chrono::milliseconds time);
    // For the threads: sleeps while the device is lost, until the close.
    void SleepWhileLost();

    std::atomic<bool> FDeviceLost{false};
    // Set by the close (after FClosing), cleared by the open: wakes the threads' pauses.
    SyncEvent FStopWake{SyncEvent::Mode::ManualReset};
    // Output purges count here, so the writer, which sends a copy without
    // FOutLock, can tell that what it sends was discarded meanwhile. The writer
    // starts a device write under FWriteGate only if no purge came since its
    // copy; a purge counts under the gate and then aborts the device's write, so
    // no write of discarded bytes can start after the purge and wait for ever.
    std::mutex FWriteGate;
    std::atomic<std::uint32_t> FOutPurges{0};
    std::atomic<bool> FInLeftBehind{false}; // the last reading pass found too little room
    std::atomic<bool> FTriggerAvailAssigned{false};
    std::mutex FDataReadyLock;
    std::function<void()> FDataReady;
};

class TCommPort : public TCustomCommPort {
public:
    using TCustomCommPort::TCustomCommPort;
};

} // namespace tarvik
