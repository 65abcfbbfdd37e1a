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

} // namespace tarvik
