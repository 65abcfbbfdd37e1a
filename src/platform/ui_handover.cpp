#include "platform/ui_handover.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tarvik {
namespace {

struct PendingStep {
    const std::function<void()>* step = nullptr;
    std::exception_ptr error;
    bool done = false;
    PendingStep* next = nullptr;
};

class Handover {
public:
    static Handover& instance() {
        static Handover handover;
        return handover;
    }

    ~Handover() {
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    bool isUiThread() const {
        if (uiKnown_.load(std::memory_order_acquire))
            return uiThread_.load(std::memory_order_relaxed) == std::this_thread::get_id();
        return ::gettid() == ::getpid();
    }

    // Called on the thread that constructs the QCoreApplication.
    void attach() {
        uiThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        uiKnown_.store(true, std::memory_order_release);
        if (wakeFd_ < 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { runPendingUiSteps(); });
    }

    // Called when the QCoreApplication goes away: its event loop no longer runs steps.
    void detach() {
        notifier_.reset();
        uiKnown_.store(false, std::memory_order_release);
    }

    void post(PendingStep& node) {
        std::unique_lock guard(lock_);
        if (tail_)
            tail_->next = &node;
        else
            head_ = &node;
        tail_ = &node;
        if (!wakePosted_ && wakeFd_ >= 0) {
            // One wake-up per batch: the UI thread takes every pending step at once.
            const std::uint64_t one = 1;
            wakePosted_ = ::write(wakeFd_, &one, sizeof one) == sizeof one;
        }
        changed_.notify_all();
        changed_.wait(guard, [&] { return node.done; });
    }

    int runPending() {
        PendingStep* batch = nullptr;
        {
            std::lock_guard guard(lock_);
            batch = head_;
            head_ = tail_ = nullptr;
            if (wakePosted_) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
                wakePosted_ = false;
            }
        }
        int ran = 0;
        while (batch) {
            PendingStep* const node = batch;
            batch = node->next; // the node is gone once its worker sees it done
            try {
                (*node->step)();
            } catch (...) {
                node->error = std::current_exception();
            }
            {
                std::lock_guard guard(lock_);
                node->done = true;
            }
            changed_.notify_all();
            ++ran;
        }
        return ran;
    }

    bool wait(const std::function<bool()>& done, std::optional<std::chrono::milliseconds> limit,
              bool runSteps) {
        const auto deadline =
            std::chrono::steady_clock::now() + limit.value_or(std::chrono::milliseconds::zero());
        for (;;) {
            {
                std::unique_lock guard(lock_);
                const auto ready = [&] { return (runSteps && head_) || done(); };
                if (limit) {
                    if (!changed_.wait_until(guard, deadline, ready)) return false;
                } else {
                    changed_.wait(guard, ready);
                }
                if (done()) return true;
            }
            runPending();
        }
    }

    void wakeWaiters() {
        { std::lock_guard guard(lock_); }
        changed_.notify_all();
    }

private:
    Handover()
        : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    std::mutex lock_;
    std::condition_variable changed_; // a step posted or run, or a waiter's condition changed
    PendingStep* head_ = nullptr;
    PendingStep* tail_ = nullptr;
    bool wakePosted_ = false;
    const int wakeFd_;
    std::unique_ptr<QSocketNotifier> notifier_; // UI thread only
    std::atomic<bool> uiKnown_{false};
    std::atomic<std::thread::id> uiThread_{};
};

void detachFromApplication() {
    Handover::instance().detach();
}

void attachToApplication() {
    Handover::instance().attach();
    qAddPostRoutine(detachFromApplication);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(attachToApplication)

bool isUiThread() {
    return Handover::instance().isUiThread();
}

void runOnUiThread(const std::function<void()>& step) {
    Handover& handover = Handover::instance();
    if (handover.isUiThread()) {
        step();
        return;
    }
    PendingStep node;
    node.step = &step;
    handover.post(node);
    if (node.error) std::rethrow_exception(node.error);
}

int runPendingUiSteps() {
    Handover& handover = Handover::instance();
    return handover.isUiThread() ? handover.runPending() : 0;
}

bool waitRunningUiSteps(const std::function<bool()>& done,
                        std::optional<std::chrono::milliseconds> limit) {
    Handover& handover = Handover::instance();
    return handover.wait(done, limit, handover.isUiThread());
}

void wakeUiWaiters() {
    Handover::instance().wakeWaiters();
}

} // namespace tarvik
