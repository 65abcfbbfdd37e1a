#pragma once
// What the fault tests and the benchmarks share: a burst of noise from the modem
// with the program's memory watched throughout, and a real call after it.
#include "e2e_support.h"

namespace tarvik::e2e {

struct NoiseFigures {
    long long bytesSent = 0;     // by the simulator, as it reports at the end
    long rssAfterWarmUpKiB = -1; // resident memory a third into the noise (2 s at least)
    long rssMaxKiB = -1;         // the most seen from then to the end of the noise
    long rssAfterKiB = -1;       // once the noise is over
    double cpuPercent = -1;      // over the noise, of one core
    bool survived = false;       // the program was still running at the end
    bool answeredAfter = false;  // the next call was answered
    QByteArray loggedAfter;      // the log line of that call's caller
};

// Sends noise for `seconds` to a started and initialised program, then a call from
// 55512343; the program and the simulator are left running.
NoiseFigures noiseThenCall(Sandbox& box, Simulator& sim, Tarvik& app, int seconds);

} // namespace tarvik::e2e
