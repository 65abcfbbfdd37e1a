#pragma once
// Helpers of the port tests on kernel pseudo-terminals.
#include "serial/CommPort.h"
#include "serial_test_support.h"

#include <asm/termbits.h>
#include <chrono>
#include <string>
#include <sys/ioctl.h>

namespace tarvik::test {

// Takes what the port has received until `count` bytes came or the limit ran out.
inline std::string drain(TCommPort& port, std::size_t count, std::chrono::milliseconds limit) {
    using namespace std::chrono_literals;
    std::string got;
    char buf[512];
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        if (!pumpUntil([&] { return port.InCount() > 0; }, 50ms)) continue;
        const std::int32_t n = port.ReadBuffer(buf, sizeof buf);
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// The terminal's line settings as the kernel holds them.
inline termios2 lineSettings(const PtyPair& pty) {
    termios2 t{};
    ::ioctl(pty.spare(), TCGETS2, &t);
    return t;
}

} // namespace tarvik::test
