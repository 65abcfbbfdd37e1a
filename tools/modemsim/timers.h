#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace tarvik::modemsim {

// Deadlines of the modem's pending actions, in groups that can be cancelled together.
// Not thread-safe: the simulator keeps it under its own lock.
enum class TimerGroup { Ringing, Report, DialResult, RxFlush, Scenario, Noise, Trickle };

class Timers {
public:
    using Clock = std::chrono::steady_clock;
    using Action = std::function<void()>;

    void add(Clock::time_point due, TimerGroup group, Action action);
    void cancel(TimerGroup group);
    bool pending(TimerGroup group) const;
    std::optional<Clock::time_point> next() const;
    // Takes out the earliest action due by `now`, if any.
    std::optional<Action> takeDue(Clock::time_point now);

private:
    struct Timer {
        TimerGroup group;
        Action action;
    };
    std::multimap<Clock::time_point, Timer> timers_;
};

} // namespace tarvik::modemsim
