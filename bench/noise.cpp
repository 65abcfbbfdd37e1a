// The modem babbles at full speed (noise, NULs, long lines without LF, lone CRs)
// for a while, by default 30 s; prints how much went through, the program's memory
// and CPU over it, and whether the next real call was answered and logged.
//   bench_noise [SECONDS]
#include "fault_support.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

using namespace tarvik::e2e;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    Sandbox box;
    Simulator sim(box, {"--rings", "1"});
    Tarvik tarvik(box);
    if (sim.waitFor("rx", "ATM2+S64=1").kind.isEmpty()) {
        std::printf("noise: the program did not initialise the modem\n");
        return 1;
    }
    eventually([&box] { return box.logLines().size() == 1; });
    const NoiseFigures f = noiseThenCall(box, sim, tarvik, seconds);
    std::printf("noise for %d s: %lld bytes (%.0f KiB/s) taken by the program\n", seconds,
                f.bytesSent, static_cast<double>(f.bytesSent) / 1024.0 / seconds);
    std::printf("CPU over the noise: %.0f %% of one core\n", f.cpuPercent);
    std::printf(
        "resident memory: %ld KiB after the warm-up, at most %ld KiB, %ld KiB after the noise\n",
        f.rssAfterWarmUpKiB, f.rssMaxKiB, f.rssAfterKiB);
    std::printf("program running: %s; next call answered: %s, logged as \"%s\"\n",
                f.survived ? "yes" : "no", f.answeredAfter ? "yes" : "no",
                f.loggedAfter.constData());
    const int exitCode = tarvik.terminate();
    std::printf("exit code %d\n", exitCode);
    return f.survived && f.answeredAfter && exitCode == 0 ? 0 : 1;
}
