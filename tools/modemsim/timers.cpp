#include "timers.h"

#include <algorithm>

namespace tarvik::modemsim {

void Timers::add(Clock::time_point due, TimerGroup group, Action action) {
    timers_.emplace(due, Timer{group, std::move(action)});
}

void Timers::cancel(TimerGroup group) {
    std::erase_if(timers_, [group](const auto& item) { return item.second.group == group; });
}

bool Timers::pending(TimerGroup group) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [group](const auto& item) { return item.second.group == group; });
}

std::optional<Timers::Clock::time_point> Timers::next() const {
    if (timers_.empty()) return std::nullopt;
    return timers_.begin()->first;
}

std::optional<Timers::Action> Timers::takeDue(Clock::time_point now) {
    if (timers_.empty() || timers_.begin()->first > now) return std::nullopt;
    auto action = std::move(timers_.begin()->second.action);
    timers_.erase(timers_.begin());
    return action;
}

} // namespace tarvik::modemsim
