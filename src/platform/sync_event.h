#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvik {

// A signalling flag between threads. An auto-reset event is cleared by the wait
// that sees it; a manual-reset one stays set until Reset.
class SyncEvent {
public:
    enum class Mode { AutoReset, ManualReset };

    explicit SyncEvent(Mode mode = Mode::AutoReset)
        : mode_(mode) {}
    SyncEvent(const SyncEvent&) = delete;
    SyncEvent& operator=(const SyncEvent&) = delete;

    void Set() {
        {
            std::lock_guard guard(lock_);
            set_ = true;
        }
        changed_.notify_all();
    }

    void Reset() {
        std::lock_guard guard(lock_);
        set_ = false;
    }

    // True when the event was set within the time limit.
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock guard(lock_);
        if (!changed_.wait_for(guard, limit, [this] { return set_; })) return false;
        if (mode_ == Mode::AutoReset) set_ = false;
        return true;
    }

    bool IsSet() const {
        std::lock_guard guard(lock_);
        return set_;
    }

private:
    const Mode mode_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool set_ = false;
};

} // namespace tarvik
