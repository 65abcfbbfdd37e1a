#pragma once
// Shared bits of the serial benchmarks.
#include "platform/ui_handover.h"
#include "serial/CommPort.h"
#include "serial_test_support.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace tarvik::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The UI thread's part while the port runs: carry out the steps its threads hand over.
inline void serveUiFor(std::chrono::milliseconds time) {
    waitRunningUiSteps([] { return false; }, time);
}

// Opens COM7, linked to the pseudo-terminal in a private config folder.
inline bool openOnPty(TCommPort& port, const test::ScopedConfigHome& config,
                      const test::PtyPair& pty) {
    config.linkCom(7, pty.devicePath());
    port.SetComNumber(7);
    port.SetOpen(true);
    if (!port.Open()) std::fprintf(stderr, "could not open %s\n", pty.devicePath().c_str());
    return port.Open();
}

} // namespace tarvik::bench
