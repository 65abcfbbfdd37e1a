#include "platform/tick.h"

#include <ctime>
#include <mutex>

namespace tarvik {
namespace {
std::mutex sourceLock;
TickSource installedSource;
} // namespace

std::uint32_t monotonicTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::uint32_t GetTickCount() {
    TickSource source;
    {
        std::lock_guard guard(sourceLock);
        source = installedSource;
    }
    return source ? source() : monotonicTickCount();
}

TickSource setTickSource(TickSource source) {
    std::lock_guard guard(sourceLock);
    std::swap(installedSource, source);
    return source;
}

} // namespace tarvik
