#pragma once
#include "serial/comm_device.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik::comm {

class MemoryCommDevice;

// A scripted serial line in memory: the far end that tests drive, and what the
// device opened on it records. Open() gives the device; one at a time. The
// script calls may come from any thread; changes wake the device's pending
// operations at once.
class MemoryLine : public std::enable_shared_from_this<MemoryLine> {
public:
    static std::shared_ptr<MemoryLine> Create();

    // --- script ---
    // Bytes arrive in the device input queue.
    void Feed(std::string_view bytes);
    // The modem inputs (MS_ bits). Changes raise the line events.
    void SetModemStatus(DWORD status) { change(status_, status); }
    // While held, the device takes no output: writes stay pending.
    void HoldOutput(bool hold) { change(hold_, hold); }
    // Line errors (CE_ bits) for the error word; raise EV_ERR or EV_BREAK.
    void AddLineErrors(DWORD errors);
    // Device events reported as they are, whatever the line states did.
    void InjectEvents(DWORD events);
    void FailModemStatus(bool fail) { change(failStatus_, fail); }
    // Opening fails with this error code; 0 lets it open.
    void FailOpen(DWORD error);
    // The device vanishes for good: every operation fails, pending ones included.
    void HangUp() { change(hungUp_, true); }
    // The control block a device starts with.
    void SetInitialState(const DCB& dcb);

    // --- observation ---
    std::string TakeSent();
    std::size_t SentCount() const { return locked(sentTotal_); }
    // Waits until at least `count` bytes have been sent in all.
    bool WaitForSent(std::size_t count, std::chrono::milliseconds limit) const;
    std::size_t InputQueued() const;
    bool IsOpen() const;
    int OpenCount() const { return locked(openCount_); }
    std::vector<DCB> StateWrites() const { return locked(stateWrites_); }
    std::vector<DWORD> Escapes() const { return locked(escapes_); }
    std::vector<DWORD> Purges() const { return locked(purges_); }
    DWORD ArmedMask() const { return locked(armed_); }
    DWORD InQueueSize() const { return locked(inQueueSize_); }
    DWORD OutQueueSize() const { return locked(outQueueSize_); }

    // CreateFileA on this line.
    CommHandle Open();

private:
    struct Token {};

public:
    explicit MemoryLine(Token) {}

private:
    friend class MemoryCommDevice;
    void changed(); // lock held
    // Sets a field under the lock; the device looks at the line again.
    template <class T> void change(T& field, T value) {
        std::lock_guard guard(lock_);
        field = std::move(value);
        changed();
    }
    // A copy of a field, read under the lock.
    template <class T> T locked(const T& field) const {
        std::lock_guard guard(lock_);
        return field;
    }

    mutable std::mutex lock_;
    mutable std::condition_variable sentChanged_;
    MemoryCommDevice* device_ = nullptr;
    std::string input_;
    std::string sent_;
    std::size_t sentTotal_ = 0;
    DWORD status_ = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
    bool hold_ = false;
    bool failStatus_ = false;
    bool hungUp_ = false;
    DWORD openError_ = ERROR_SUCCESS;
    DWORD errors_ = 0;
    DWORD events_ = 0;
    DCB initial_{19200, DCB_fBinary, 2048, 512, 8, NOPARITY, ONESTOPBIT, 0x11, 0x13, 0, 0, 0};
    int openCount_ = 0;
    std::vector<DCB> stateWrites_;
    std::vector<DWORD> escapes_;
    std::vector<DWORD> purges_;
    DWORD armed_ = 0;
    DWORD inQueueSize_ = 0;
    DWORD outQueueSize_ = 0;
};

// An opener for CreateFileA that opens the lines by their names.
CommDeviceOpener MemoryOpener(std::map<std::string, std::shared_ptr<MemoryLine>> lines);

} // namespace tarvik::comm
