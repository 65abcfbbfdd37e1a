#pragma once
#include <cstdint>
#include <functional>

namespace tarvik {

// Milliseconds since an arbitrary start, wrapping after about 49.7 days like the
// 32-bit tick count the waits were designed around.
std::uint32_t GetTickCount();

using TickSource = std::function<std::uint32_t()>;

// Replaces the tick source (tests use it to reach the wrap); an empty source
// restores the monotonic clock. Returns the previous source.
TickSource setTickSource(TickSource source);

// The real clock, whatever source is installed.
std::uint32_t monotonicTickCount();

// True when `interval` ms have passed since `start`, or the counter wrapped;
// both compared as signed 32-bit values, as the modem's waits were designed.
inline bool tickIntervalPassed(std::uint32_t start, std::uint32_t now, std::uint32_t interval) {
    return static_cast<std::int32_t>(now - start) >= static_cast<std::int32_t>(interval) ||
           static_cast<std::int32_t>(now) < static_cast<std::int32_t>(start);
}

// Milliseconds from `now` to the tick `at`, 0 once it has come; the counter may wrap.
inline std::uint32_t ticksUntil(std::uint32_t at, std::uint32_t now) {
    const auto left = static_cast<std::int32_t>(at - now);
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

} // namespace tarvik
