#include "platform/worker_thread.h"

#include "platform/ui_handover.h"

#include <pthread.h>

namespace tarvik {

WorkerThread::WorkerThread(Body body, std::string name)
    : body_(std::move(body))
    , name_(std::move(name))
    , thread_([this] { run(); }) {}

WorkerThread::~WorkerThread() {
    Terminate();
    WaitFor();
}

void WorkerThread::run() noexcept {
    if (!name_.empty()) ::pthread_setname_np(::pthread_self(), name_.substr(0, 15).c_str());
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
