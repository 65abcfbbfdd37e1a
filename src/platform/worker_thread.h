#pragma once
#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <thread>

namespace tarvik {

// A background thread that starts running its body as soon as it is created.
//
// The body polls Terminated() to learn that it should stop. WaitFor() returns once
// the body has ended; made on the UI thread, it keeps running the steps that
// workers hand over (ui_handover.h) meanwhile, so a body blocked in such a step
// can still finish. Destroying the object requests termination and waits.
class WorkerThread {
public:
    using Body = std::function<void(const WorkerThread& self)>;

    // The name (15 characters at most) is what tools such as top show for the thread.
    explicit WorkerThread(Body body, std::string name = {});
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void Terminate() noexcept { terminated_.store(true); }
    bool Terminated() const noexcept { return terminated_.load(); }
    bool Finished() const noexcept { return finished_.load(); }

    void WaitFor();

    // What escaped the body, once it has ended; the thread itself never throws.
    std::exception_ptr FatalException() const;

private:
    void run() noexcept;

    Body body_;
    const std::string name_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::exception_ptr fatal_;
    std::thread thread_; // last: starts once everything above is set up
};

} // namespace tarvik
