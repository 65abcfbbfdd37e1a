#pragma once
#include <chrono>
#include <functional>
#include <optional>

// The blocking hand-over of a step from a worker thread to the UI thread.
//
// A worker posts a step, the UI loop is woken, and the worker stays blocked until
// the UI thread has run the step; an exception thrown by the step comes back to
// the worker. The UI thread runs pending steps whenever Qt processes its events
// (and explicitly through runPendingUiSteps), and while it waits for a worker
// thread's end. Posting allocates nothing: each pending step lives on the stack
// of the worker that waits for it.

namespace tarvik {

// True on the thread that runs the user interface: the thread that created the
// QCoreApplication, or the process's main thread while there is none.
bool isUiThread();

// Runs `step` on the UI thread and returns when it has run; rethrows what the
// step threw. Called on the UI thread itself, the step runs at once.
void runOnUiThread(const std::function<void()>& step);

// On the UI thread: runs the steps handed over so far and returns how many ran.
// Exceptions go back to the posting workers, never out of here. Elsewhere: 0.
int runPendingUiSteps();

// Blocks until `done` returns true or the limit runs out (then false). On the UI
// thread, handed-over steps run meanwhile, so a worker that waits for the UI
// thread can always finish; no other events are processed. `done` is tested under
// an internal lock: keep it cheap, and call wakeUiWaiters() after changing what it
// reads.
bool waitRunningUiSteps(const std::function<bool()>& done,
                        std::optional<std::chrono::milliseconds> limit = std::nullopt);

// Makes waitRunningUiSteps test its condition again.
void wakeUiWaiters();

} // namespace tarvik
