#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The serial device layer the port component is written against. The operations
// keep the semantics of the Windows communications calls the component was
// designed around: a transfer either completes at once (true) or continues as
// pending (false, last error ERROR_IO_PENDING) until GetOverlappedResult has seen
// it finish; PurgeComm aborts pending transfers; ClearCommError reads and clears
// the line error word; a pending WaitCommEvent ends with mask 0 when the armed
// mask changes. Failures leave an error code in the calling thread's last error.
// A device that has gone for good fails every operation, pending ones included,
// with ERROR_BAD_COMMAND; a fault that may pass fails only the call it hit, with
// ERROR_IO_DEVICE.

namespace tarvik::comm {

using DWORD = std::uint32_t;

inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// Error codes
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_BAD_COMMAND = 22; // the device has gone away
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD ERROR_IO_PENDING = 997;
inline constexpr DWORD ERROR_IO_DEVICE = 1117; // a device fault that may pass

// The calling thread's last error: the code callers test, set together with the
// system's reason (errno, 0 when unknown) that the code folds with others.
struct DeviceError {
    DWORD code = ERROR_SUCCESS;
    int systemError = 0;
};
DeviceError LastDeviceError() noexcept;
DWORD GetLastError() noexcept;
void SetLastError(DWORD code, int systemError = 0) noexcept;

// Device event bits (WaitCommEvent, SetCommMask)
inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_RXFLAG = 0x0002;
inline constexpr DWORD EV_TXEMPTY = 0x0004;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;

// Modem status bits (GetCommModemStatus)
inline constexpr DWORD MS_CTS_ON = 0x0010;
inline constexpr DWORD MS_DSR_ON = 0x0020;
inline constexpr DWORD MS_RING_ON = 0x0040;
inline constexpr DWORD MS_RLSD_ON = 0x0080;

// Line error bits (ClearCommError)
inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;

// Purge flags
inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Line commands (EscapeCommFunction)
inline constexpr DWORD SETXOFF = 1;
inline constexpr DWORD SETXON = 2;
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;

// Parity and stop-bit bytes of the control block
inline constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3,
                              SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// Bits of the control block's flags word
inline constexpr DWORD DCB_fBinary = 0x0001;
inline constexpr DWORD DCB_fParity = 0x0002;
inline constexpr DWORD DCB_fOutxCtsFlow = 0x0004;
inline constexpr DWORD DCB_fOutX = 0x0100;
inline constexpr DWORD DCB_fInX = 0x0200;
inline constexpr DWORD DCB_fRtsControlMask = 0x3000; // 0 off, 1 on, 2 handshake, 3 toggle
inline constexpr DWORD DCB_RtsHandshake = 0x2000;

// Device control block: the line settings.
struct DCB {
    DWORD BaudRate = 0;
    DWORD Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const DCB&) const = default;
};

// A control block a device can carry out: speed set, 5 to 8 data bits, known
// parity and stop bits.
bool IsValidDcb(const DCB& dcb) noexcept;

struct COMSTAT {
    DWORD Flags = 0;
    DWORD cbInQue = 0;  // bytes waiting in the device input queue
    DWORD cbOutQue = 0; // bytes not yet sent from the device output queue
};

// Read time-outs of all zero make a read wait until its count is reached;
// ReadIntervalTimeout MAXDWORD with zero totals makes it return at once with
// what is there. Writes have no time limit.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// A manual-reset event that poll() can wait on.
class IoEvent {
public:
    IoEvent();
    ~IoEvent();
    IoEvent(const IoEvent&) = delete;
    IoEvent& operator=(const IoEvent&) = delete;

    void Set() noexcept;
    void Reset() noexcept;
    bool IsSet() const noexcept;
    int fd() const noexcept { return fd_; }

private:
    int fd_;
};

class CommDevice;

namespace detail {
// Progress of one asynchronous operation; owned by the device while it is pending.
struct IoRequest {
    enum class Kind : std::uint8_t { None, Read, Write, Wait };
    enum class State : std::uint8_t { Idle, Pending, Done, Failed };

    CommDevice* device = nullptr; // set while pending
    Kind kind = Kind::None;
    State state = State::Idle;
    std::uint8_t* in = nullptr;
    const std::uint8_t* out = nullptr;
    DWORD count = 0;
    DWORD done = 0;
    DWORD* mask = nullptr;
    DWORD error = 0;
};
} // namespace detail

// The record of one thread's asynchronous I/O. hEvent is set when an operation
// completes. Must not be destroyed while another thread waits on it.
struct OVERLAPPED {
    OVERLAPPED() = default;
    ~OVERLAPPED();
    OVERLAPPED(const OVERLAPPED&) = delete;
    OVERLAPPED& operator=(const OVERLAPPED&) = delete;

    IoEvent hEvent;
    detail::IoRequest request;
};

// An open serial device. Every operation may be called from any thread.
class CommDevice {
public:
    virtual ~CommDevice() = default;

    virtual bool SetupComm(DWORD inQueue, DWORD outQueue) = 0;
    virtual bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    virtual bool GetCommState(DCB& dcb) = 0;
    virtual bool SetCommState(const DCB& dcb) = 0;
    virtual bool SetCommMask(DWORD mask) = 0;
    virtual bool EscapeCommFunction(DWORD function) = 0;
    virtual bool PurgeComm(DWORD flags) = 0;
    virtual bool ClearCommError(DWORD* errors, COMSTAT* stat) = 0;
    virtual bool GetCommModemStatus(DWORD* status) = 0;
    virtual bool ReadFile(void* dest, DWORD count, DWORD* read, OVERLAPPED& ov) = 0;
    virtual bool WriteFile(const void* source, DWORD count, DWORD* written, OVERLAPPED& ov) = 0;
    virtual bool WaitCommEvent(DWORD* mask, OVERLAPPED& ov) = 0;
    virtual bool GetOverlappedResult(OVERLAPPED& ov, DWORD* transferred, bool wait) = 0;

protected:
    friend struct OVERLAPPED;
    // Drops a pending operation whose record is going away.
    virtual void Forget(OVERLAPPED& ov) noexcept = 0;
};

// Closing the handle (CloseHandle) is releasing it.
using CommHandle = std::unique_ptr<CommDevice>;

// Opens a port by name ("\\.\COMn" or a device path) exclusively for
// asynchronous I/O; null with the last error set when it cannot be opened.
CommHandle CreateFileA(const std::string& name);

// What CreateFileA uses to open devices. An empty opener restores the system's
// serial devices. Returns the previous opener.
using CommDeviceOpener = std::function<CommHandle(const std::string& name)>;
CommDeviceOpener SetCommDeviceOpener(CommDeviceOpener opener);

// Installs an opener for the lifetime of the object.
class ScopedCommDeviceOpener {
public:
    explicit ScopedCommDeviceOpener(CommDeviceOpener opener)
        : previous_(SetCommDeviceOpener(std::move(opener))) {}
    ~ScopedCommDeviceOpener() { SetCommDeviceOpener(std::move(previous_)); }
    ScopedCommDeviceOpener(const ScopedCommDeviceOpener&) = delete;
    ScopedCommDeviceOpener& operator=(const ScopedCommDeviceOpener&) = delete;

private:
    CommDeviceOpener previous_;
};

} // namespace tarvik::comm
