#pragma once
#include "platform/event_pump.h"

#include <QEvent>
#include <QObject>
#include <atomic>
#include <functional>

namespace tarvik {

// Marks a wait of the modem dialogue: the idle handler never runs inside one.
class ModemWaitScope {
public:
    ModemWaitScope();
    ~ModemWaitScope();
    ModemWaitScope(const ModemWaitScope&) = delete;
    ModemWaitScope& operator=(const ModemWaitScope&) = delete;
    static bool active();
};

// Runs the idle event once the message loop has emptied its queue after some
// activity: never inside a modem wait, never re-entered, and never again while
// nothing happens, so an idle program sleeps.
class TAppEvents final : public QObject {
public:
    TAppEvents();
    ~TAppEvents() override;

    std::function<void()> OnIdle;

    // Wakes the UI thread from any thread and counts as activity; cheap to call
    // often (one pending wake at a time).
    void wakeFromAnyThread();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void aboutToBlock();
    void runIdle();

    bool activity_ = true;
    bool idleQueued_ = false;
    bool running_ = false;
    std::atomic<bool> wakePending_{false};
};

// The modem dialogue's pump on the Qt event loop: processes pending events, or
// blocks until an event, a wake-up or the deadline.
class QtEventPump final : public EventPump {
public:
    void processPending() override;
    void waitForActivity(std::uint32_t maxMs) override;
};

} // namespace tarvik
