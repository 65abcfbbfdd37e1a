#include "serial/comm_device.h"

#include "serial/comm_device_core.h"
#include "serial/comm_device_posix.h"

#include <cerrno>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tarvik::comm {
namespace {

thread_local DeviceError lastError;

std::mutex openerLock;
CommDeviceOpener installedOpener;

using State = detail::IoRequest::State;
using Kind = detail::IoRequest::Kind;

} // namespace

DeviceError LastDeviceError() noexcept {
    return lastError;
}
DWORD GetLastError() noexcept {
    return lastError.code;
}
void SetLastError(DWORD code, int systemError) noexcept {
    lastError = {code, systemError};
}

bool IsValidDcb(const DCB& dcb) noexcept {
    return dcb.BaudRate > 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS;
}

// --- IoEvent ---------------------------------------------------------------

IoEvent::IoEvent()
    : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

IoEvent::~IoEvent() {
    ::close(fd_);
}

void IoEvent::Set() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
}

void IoEvent::Reset() noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
}

bool IoEvent::IsSet() const noexcept {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

OVERLAPPED::~OVERLAPPED() {
    if (request.device) request.device->Forget(*this);
}

// --- opening ---------------------------------------------------------------

CommHandle CreateFileA(const std::string& name) {
    CommDeviceOpener opener;
    {
        std::lock_guard guard(openerLock);
        opener = installedOpener;
    }
    return opener ? opener(name) : OpenSystemDevice(name);
}

CommDeviceOpener SetCommDeviceOpener(CommDeviceOpener opener) {
    std::lock_guard guard(openerLock);
    std::swap(installedOpener, opener);
    return opener;
}

// --- CommDeviceCore --------------------------------------------------------

CommDeviceCore::CommDeviceCore(std::mutex& lock, const DCB& initial)
    : lock_(lock)
    , state_(initial) {}

DWORD CommDeviceCore::EventsForErrors(DWORD errors) noexcept {
    DWORD events = 0;
    if (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY)) events |= EV_ERR;
    if (errors & CE_BREAK) events |= EV_BREAK;
    return events;
}

void CommDeviceCore::Shutdown() noexcept {
    std::lock_guard guard(lock_);
    for (OVERLAPPED* ov : {pendingRead_, pendingWrite_, pendingWait_})
        if (ov) complete(*ov, State::Failed, ERROR_OPERATION_ABORTED);
}

void CommDeviceCore::Forget(OVERLAPPED& ov) noexcept {
    std::lock_guard guard(lock_);
    for (OVERLAPPED** slot : {&pendingRead_, &pendingWrite_, &pendingWait_})
        if (*slot == &ov) *slot = nullptr;
    ov.request.device = nullptr;
}

void CommDeviceCore::SignalPendingLocked() noexcept {
    for (OVERLAPPED* ov : {pendingRead_, pendingWrite_, pendingWait_})
        if (ov) ov->hEvent.Set();
}

void CommDeviceCore::complete(OVERLAPPED& ov, State state, DWORD error) noexcept {
    ov.request.state = state;
    ov.request.error = error;
    ov.request.device = nullptr;
    for (OVERLAPPED** slot : {&pendingRead_, &pendingWrite_, &pendingWait_})
        if (*slot == &ov) *slot = nullptr;
    ov.hEvent.Set();
}

void CommDeviceCore::completeWait(DWORD events) noexcept {
    if (!pendingWait_) return;
    *pendingWait_->request.mask = events;
    complete(*pendingWait_, State::Done, ERROR_SUCCESS);
}

void CommDeviceCore::absorb(const Sample& s) {
    DWORD events = s.newEvents | EventsForErrors(s.newErrors);
    // Bytes count as received once; bytes left unread raise nothing more.
    if (s.inQueue > expectedIn_) events |= EV_RXCHAR;
    expectedIn_ = s.inQueue;
    if (txPending_ && s.outQueue == 0) {
        events |= EV_TXEMPTY;
        txPending_ = false;
    }
    if (s.modemStatus) {
        if (statusKnown_) {
            const DWORD changed = *s.modemStatus ^ lastStatus_;
            if (changed & MS_CTS_ON) events |= EV_CTS;
            if (changed & MS_DSR_ON) events |= EV_DSR;
            if (changed & MS_RLSD_ON) events |= EV_RLSD;
            if ((changed & MS_RING_ON) && (*s.modemStatus & MS_RING_ON)) events |= EV_RING;
        }
        lastStatus_ = *s.modemStatus;
        statusKnown_ = true;
    }
    errors_ |= s.newErrors;
    history_ |= events & armed_;
    if (history_ && pendingWait_) {
        completeWait(history_);
        history_ = 0;
    }
}

// Takes in what the device shows for a wait; a device that has gone ends it.
void CommDeviceCore::sampleFor(OVERLAPPED& wait) {
    Sample s;
    if (sample(s))
        absorb(s);
    else if (GetLastError() == ERROR_BAD_COMMAND)
        complete(wait, State::Failed, ERROR_BAD_COMMAND);
}

int CommDeviceCore::pollDevice(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

void CommDeviceCore::tookIn(DWORD count) noexcept {
    expectedIn_ = expectedIn_ > count ? expectedIn_ - count : 0;
    // A waiter that ignored readability because bytes sat unread must look again.
    if (expectedIn_ == 0 && pendingWait_) pendingWait_->hEvent.Set();
}

bool CommDeviceCore::progress(OVERLAPPED& ov) {
    detail::IoRequest& r = ov.request;
    switch (r.kind) {
    case Kind::Read: {
        const long n = r.count > r.done ? moveIn(r.in + r.done, r.count - r.done) : 0;
        if (n < 0) {
            complete(ov, State::Failed, GetLastError());
            break;
        }
        r.done += static_cast<DWORD>(n);
        tookIn(static_cast<DWORD>(n));
        if (r.done == r.count || immediateReads_) complete(ov, State::Done, ERROR_SUCCESS);
        break;
    }
    case Kind::Write: {
        const long n = r.count > r.done ? moveOut(r.out + r.done, r.count - r.done) : 0;
        if (n < 0) {
            complete(ov, State::Failed, GetLastError());
            break;
        }
        r.done += static_cast<DWORD>(n);
        if (n > 0) {
            txPending_ = true;
            if (pendingWait_) pendingWait_->hEvent.Set();
        }
        if (r.done == r.count) complete(ov, State::Done, ERROR_SUCCESS);
        break;
    }
    case Kind::Wait:
        sampleFor(ov);
        break;
    case Kind::None:
        break;
    }
    return r.state != State::Pending;
}

CommDeviceCore::Interest CommDeviceCore::interestOf(const detail::IoRequest& r) const noexcept {
    Interest interest;
    switch (r.kind) {
    case Kind::Read:
        interest.readable = true;
        break;
    case Kind::Write:
        interest.writable = true;
        break;
    case Kind::Wait:
        interest.readable = (armed_ & EV_RXCHAR) && expectedIn_ == 0;
        interest.lines = (armed_ & (EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK)) != 0;
        interest.txEmpty = txPending_ && (armed_ & EV_TXEMPTY);
        break;
    case Kind::None:
        break;
    }
    return interest;
}

// Ends the start of an operation: done at once, failed, or now pending.
bool CommDeviceCore::start(OVERLAPPED& ov, OVERLAPPED*& slot, DWORD* result) {
    detail::IoRequest& r = ov.request;
    if (result) *result = r.state == State::Done ? r.done : 0;
    if (r.state == State::Done) return true;
    if (r.state == State::Failed) {
        SetLastError(r.error);
        return false;
    }
    r.device = this;
    slot = &ov;
    SetLastError(ERROR_IO_PENDING);
    return false;
}

namespace {
bool busy(const OVERLAPPED& ov, const OVERLAPPED* slot) {
    if (ov.request.state != State::Pending && !slot) return false;
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}
} // namespace

bool CommDeviceCore::ReadFile(void* dest, DWORD count, DWORD* read, OVERLAPPED& ov) {
    std::lock_guard guard(lock_);
    if (busy(ov, pendingRead_)) return false;
    ov.request = {};
    ov.request.kind = Kind::Read;
    ov.request.in = static_cast<std::uint8_t*>(dest);
    ov.request.count = count;
    ov.request.state = State::Pending;
    ov.hEvent.Reset();
    progress(ov);
    return start(ov, pendingRead_, read);
}

bool CommDeviceCore::WriteFile(const void* source, DWORD count, DWORD* written, OVERLAPPED& ov) {
    std::lock_guard guard(lock_);
    if (busy(ov, pendingWrite_)) return false;
    ov.request = {};
    ov.request.kind = Kind::Write;
    ov.request.out = static_cast<const std::uint8_t*>(source);
    ov.request.count = count;
    ov.request.state = State::Pending;
    ov.hEvent.Reset();
    progress(ov);
    return start(ov, pendingWrite_, written);
}

bool CommDeviceCore::WaitCommEvent(DWORD* mask, OVERLAPPED& ov) {
    std::lock_guard guard(lock_);
    // Nothing armed could never end the wait.
    if (armed_ == 0 || !mask || busy(ov, pendingWait_)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    ov.request = {};
    ov.request.kind = Kind::Wait;
    ov.request.mask = mask;
    ov.request.state = State::Pending;
    ov.hEvent.Reset();
    sampleFor(ov);
    if (ov.request.state == State::Pending && history_) {
        *mask = history_;
        history_ = 0;
        complete(ov, State::Done, ERROR_SUCCESS);
    }
    return start(ov, pendingWait_, nullptr);
}

bool CommDeviceCore::GetOverlappedResult(OVERLAPPED& ov, DWORD* transferred, bool wait) {
    std::unique_lock guard(lock_);
    detail::IoRequest& r = ov.request;
    while (!(r.state != State::Pending || progress(ov))) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return false;
        }
        ov.hEvent.Reset();
        const PollSpec spec = pollSpec(interestOf(r));
        guard.unlock();
        pollfd fds[2] = {{ov.hEvent.fd(), POLLIN, 0}, {spec.fd, spec.events, 0}};
        const int ready = pollDevice(fds, spec.fd >= 0 ? 2 : 1, spec.timeoutMs);
        guard.lock();
        if (ready > 0 && spec.fd >= 0 && fds[1].revents) polled(fds[1].revents);
    }
    if (transferred) *transferred = r.done;
    if (r.state == State::Done) return true;
    SetLastError(r.state == State::Failed ? r.error : ERROR_INVALID_PARAMETER);
    return false;
}

bool CommDeviceCore::SetCommMask(DWORD mask) {
    std::lock_guard guard(lock_);
    armed_ = mask;
    history_ = 0;
    completeWait(0);
    return true;
}

bool CommDeviceCore::PurgeComm(DWORD flags) {
    std::lock_guard guard(lock_);
    if ((flags & PURGE_TXABORT) && pendingWrite_)
        complete(*pendingWrite_, State::Failed, ERROR_OPERATION_ABORTED);
    if ((flags & PURGE_RXABORT) && pendingRead_)
        complete(*pendingRead_, State::Failed, ERROR_OPERATION_ABORTED);
    const bool input = flags & PURGE_RXCLEAR;
    const bool output = flags & PURGE_TXCLEAR;
    if (!input && !output) return true;
    const bool ok = flush(input, output);
    if (input) tookIn(expectedIn_);
    if (output) txPending_ = false;
    return ok;
}

bool CommDeviceCore::ClearCommError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard guard(lock_);
    Sample s;
    if (!sample(s)) return false;
    absorb(s);
    if (errors) *errors = errors_;
    errors_ = 0;
    if (stat) {
        *stat = {};
        stat->cbInQue = s.inQueue;
        stat->cbOutQue = s.outQueue;
    }
    return true;
}

bool CommDeviceCore::GetCommModemStatus(DWORD* status) {
    std::lock_guard guard(lock_);
    Sample s;
    if (!sample(s)) return false;
    absorb(s);
    if (!s.modemStatus) {
        SetLastError(ERROR_GEN_FAILURE);
        return false;
    }
    if (status) *status = *s.modemStatus;
    return true;
}

bool CommDeviceCore::GetCommState(DCB& dcb) {
    std::lock_guard guard(lock_);
    dcb = state_;
    return true;
}

bool CommDeviceCore::SetCommState(const DCB& dcb) {
    std::lock_guard guard(lock_);
    if (!IsValidDcb(dcb)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!applyState(dcb)) return false;
    state_ = dcb;
    return true;
}

bool CommDeviceCore::SetupComm(DWORD inQueue, DWORD outQueue) {
    std::lock_guard guard(lock_);
    return setupQueues(inQueue, outQueue);
}

bool CommDeviceCore::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard guard(lock_);
    immediateReads_ = timeouts.ReadIntervalTimeout == MAXDWORD &&
                      timeouts.ReadTotalTimeoutMultiplier == 0 &&
                      timeouts.ReadTotalTimeoutConstant == 0;
    return true;
}

bool CommDeviceCore::EscapeCommFunction(DWORD function) {
    std::lock_guard guard(lock_);
    return escape(function);
}

} // namespace tarvik::comm
