#pragma once
#include "serial/comm_device.h"

#include <mutex>
#include <optional>
#include <poll.h>

namespace tarvik::comm {

// The common part of the device backends: pending operations, their abort and
// completion, the event history behind WaitCommEvent, the read-and-clear error
// word and the stored control block. A backend supplies the raw, non-blocking
// device access through the hooks below, all called with the device lock held.
class CommDeviceCore : public CommDevice {
public:
    bool SetupComm(DWORD inQueue, DWORD outQueue) override;
    bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool GetCommState(DCB& dcb) override;
    bool SetCommState(const DCB& dcb) override;
    bool SetCommMask(DWORD mask) override;
    bool EscapeCommFunction(DWORD function) override;
    bool PurgeComm(DWORD flags) override;
    bool ClearCommError(DWORD* errors, COMSTAT* stat) override;
    bool GetCommModemStatus(DWORD* status) override;
    bool ReadFile(void* dest, DWORD count, DWORD* read, OVERLAPPED& ov) override;
    bool WriteFile(const void* source, DWORD count, DWORD* written, OVERLAPPED& ov) override;
    bool WaitCommEvent(DWORD* mask, OVERLAPPED& ov) override;
    bool GetOverlappedResult(OVERLAPPED& ov, DWORD* transferred, bool wait) override;

    // The events that line errors (CE_ bits) raise.
    static DWORD EventsForErrors(DWORD errors) noexcept;

protected:
    // The backend owns the lock; it must outlive the core's use of it, so the
    // backend's destructor calls Shutdown() first.
    CommDeviceCore(std::mutex& lock, const DCB& initial);

    // The modem inputs at open, against which later changes raise events.
    void SetInitialStatus(DWORD status) noexcept {
        lastStatus_ = status;
        statusKnown_ = true;
    }

    // Ends every pending operation as aborted.
    void Shutdown() noexcept;

    // Wakes every pending operation so it looks at the device again.
    void SignalPendingLocked() noexcept;

    struct Sample {
        DWORD inQueue = 0;
        DWORD outQueue = 0;
        std::optional<DWORD> modemStatus; // MS_ bits; none when it cannot be read
        DWORD newErrors = 0;              // CE_ bits that occurred since the last sample
        DWORD newEvents = 0;              // EV_ bits the backend saw beyond the derived ones
    };
    // What a pending operation waits for.
    struct Interest {
        bool readable = false;
        bool writable = false;
        bool lines = false;   // modem line or line error events armed
        bool txEmpty = false; // waiting for the output queue to drain
    };
    struct PollSpec {
        int fd = -1;
        short events = 0;
        int timeoutMs = -1;
    };

    virtual bool sample(Sample& out) = 0;                           // false: the device is gone
    virtual long moveIn(std::uint8_t* dest, DWORD count) = 0;       // bytes taken, -1 on failure
    virtual long moveOut(const std::uint8_t* src, DWORD count) = 0; // bytes taken, -1 on failure
    virtual bool flush(bool input, bool output) = 0;
    virtual bool applyState(const DCB& dcb) = 0;
    virtual bool escape(DWORD function) = 0;
    virtual bool setupQueues(DWORD, DWORD) { return true; }
    virtual PollSpec pollSpec(const Interest&) { return {}; }
    virtual void polled(short /*revents*/) {}
    // Waits for the pending operation's event and the device; called without the lock.
    virtual int pollDevice(pollfd* fds, nfds_t count, int timeoutMs);

    std::mutex& lock_;

private:
    void Forget(OVERLAPPED& ov) noexcept override;

    void absorb(const Sample& s);
    void sampleFor(OVERLAPPED& wait);
    bool progress(OVERLAPPED& ov);
    void complete(OVERLAPPED& ov, detail::IoRequest::State state, DWORD error) noexcept;
    void completeWait(DWORD events) noexcept;
    Interest interestOf(const detail::IoRequest& request) const noexcept;
    bool start(OVERLAPPED& ov, OVERLAPPED*& slot, DWORD* result);
    void tookIn(DWORD count) noexcept;

    DCB state_;
    bool immediateReads_ = false;
    DWORD armed_ = 0;
    DWORD history_ = 0; // armed events that occurred while no wait was pending
    DWORD errors_ = 0;
    DWORD expectedIn_ = 0; // input queue length last seen, less what was read since
    bool txPending_ = false;
    DWORD lastStatus_ = 0;
    bool statusKnown_ = false;
    OVERLAPPED* pendingRead_ = nullptr;
    OVERLAPPED* pendingWrite_ = nullptr;
    OVERLAPPED* pendingWait_ = nullptr;
};

} // namespace tarvik::comm
