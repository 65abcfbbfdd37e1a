#include "platform/worker_thread.h"

#include "platform/ui_handover.h"

namespace tarvik {

WorkerThread::WorkerThread(Body body)
    : body_(std::move(body))
    , thread_([this] { run(); }) {}

WorkerThread::~WorkerThread() {
    Terminate();
    WaitFor();
}

void WorkerThread::run() noexcept {
    try {
        body_(*this);
    } catch (...) {
        fatal_ = std::current_exception();
    }
    finished_.store(true);
    wakeUiWaiters();
}

void WorkerThread::WaitFor() {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    waitRunningUiSteps([this] { return finished_.load(); });
    thread_.join();
}

std::exception_ptr WorkerThread::FatalException() const {
    return finished_.load() ? fatal_ : std::exception_ptr();
}

} // namespace tarvik
