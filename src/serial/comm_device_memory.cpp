#include "serial/comm_device_memory.h"

#include "serial/comm_device_core.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarvik::comm {

class MemoryCommDevice final : public CommDeviceCore {
public:
    // Made with the line's lock held.
    explicit MemoryCommDevice(std::shared_ptr<MemoryLine> line)
        : CommDeviceCore(line->lock_, line->initial_)
        , line_(std::move(line)) {
        line_->device_ = this;
        if (!line_->failStatus_) SetInitialStatus(line_->status_);
    }

    ~MemoryCommDevice() override {
        Shutdown();
        std::lock_guard guard(line_->lock_);
        line_->device_ = nullptr;
    }

    using CommDeviceCore::SignalPendingLocked;

    // The line's own calls below run with the line's lock held: it is the device lock.
    bool SetCommMask(DWORD mask) override {
        if (!CommDeviceCore::SetCommMask(mask)) return false;
        std::lock_guard guard(lock_);
        line_->armed_ = mask;
        return true;
    }

    bool PurgeComm(DWORD flags) override {
        {
            std::lock_guard guard(lock_);
            line_->purges_.push_back(flags);
        }
        return CommDeviceCore::PurgeComm(flags);
    }

private:
    // A line that has hung up fails every operation as a device that has gone.
    bool hungUp() const {
        if (!line_->hungUp_) return false;
        SetLastError(ERROR_BAD_COMMAND);
        return true;
    }

    bool sample(Sample& out) override {
        if (hungUp()) return false;
        MemoryLine& l = *line_;
        out.inQueue = static_cast<DWORD>(l.input_.size());
        out.outQueue = 0;
        if (!l.failStatus_) out.modemStatus = l.status_;
        out.newErrors = std::exchange(l.errors_, 0);
        out.newEvents = std::exchange(l.events_, 0);
        return true;
    }

    long moveIn(std::uint8_t* dest, DWORD count) override {
        if (hungUp()) return -1;
        MemoryLine& l = *line_;
        const std::size_t n = std::min<std::size_t>(count, l.input_.size());
        std::memcpy(dest, l.input_.data(), n);
        l.input_.erase(0, n);
        return static_cast<long>(n);
    }

    long moveOut(const std::uint8_t* src, DWORD count) override {
        if (hungUp()) return -1;
        MemoryLine& l = *line_;
        if (l.hold_) return 0;
        l.sent_.append(reinterpret_cast<const char*>(src), count);
        l.sentTotal_ += count;
        l.sentChanged_.notify_all();
        return static_cast<long>(count);
    }

    bool flush(bool input, bool) override {
        if (input) line_->input_.clear();
        return true;
    }

    bool applyState(const DCB& dcb) override {
        line_->stateWrites_.push_back(dcb);
        return true;
    }

    bool escape(DWORD function) override {
        line_->escapes_.push_back(function);
        return true;
    }

    bool setupQueues(DWORD inQueue, DWORD outQueue) override {
        line_->inQueueSize_ = inQueue;
        line_->outQueueSize_ = outQueue;
        return true;
    }

    std::shared_ptr<MemoryLine> line_;
};

std::shared_ptr<MemoryLine> MemoryLine::Create() {
    return std::make_shared<MemoryLine>(Token{});
}

void MemoryLine::changed() {
    if (device_) device_->SignalPendingLocked();
}

CommHandle MemoryLine::Open() {
    std::lock_guard guard(lock_);
    if (openError_ != ERROR_SUCCESS || device_) {
        SetLastError(device_ ? ERROR_ACCESS_DENIED : openError_);
        return nullptr;
    }
    ++openCount_;
    stateWrites_.clear();
    escapes_.clear();
    purges_.clear();
    armed_ = 0;
    return std::make_unique<MemoryCommDevice>(shared_from_this());
}

void MemoryLine::Feed(std::string_view bytes) {
    std::lock_guard guard(lock_);
    input_.append(bytes);
    changed();
}

void MemoryLine::AddLineErrors(DWORD errors) {
    std::lock_guard guard(lock_);
    errors_ |= errors;
    changed();
}

void MemoryLine::InjectEvents(DWORD events) {
    std::lock_guard guard(lock_);
    events_ |= events;
    changed();
}

void MemoryLine::FailOpen(DWORD error) {
    std::lock_guard guard(lock_);
    openError_ = error;
}

void MemoryLine::SetInitialState(const DCB& dcb) {
    std::lock_guard guard(lock_);
    initial_ = dcb;
}

std::string MemoryLine::TakeSent() {
    std::lock_guard guard(lock_);
    return std::exchange(sent_, {});
}

bool MemoryLine::WaitForSent(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock guard(lock_);
    return sentChanged_.wait_for(guard, limit, [&] { return sentTotal_ >= count; });
}

std::size_t MemoryLine::InputQueued() const {
    std::lock_guard guard(lock_);
    return input_.size();
}

bool MemoryLine::IsOpen() const {
    std::lock_guard guard(lock_);
    return device_ != nullptr;
}

CommDeviceOpener MemoryOpener(std::map<std::string, std::shared_ptr<MemoryLine>> lines) {
    return [lines = std::move(lines)](const std::string& name) -> CommHandle {
        const auto found = lines.find(name);
        if (found == lines.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        return found->second->Open();
    };
}

} // namespace tarvik::comm
