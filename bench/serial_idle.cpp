// CPU used by an open, idle port over 10 s: its three threads together.
#include "serial_bench.h"

#include <QCoreApplication>

using namespace tarvik;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    test::ScopedConfigHome config;
    test::PtyPair pty;
    TCommPort port;
    if (!bench::openOnPty(port, config, pty)) return 1;
    bench::serveUiFor(500ms);
    const auto before = bench::portThreadTimes();
    const double cpu = test::cpuSeconds();
    bench::serveUiFor(10s);
    const double process = test::cpuSeconds() - cpu;
    const auto after = bench::portThreadTimes();
    std::printf("open idle port on a pseudo-terminal, 10 s\n");
    const bench::ThreadUse use = bench::printThreadUse(before, after);
    std::printf("  three threads  %.4f s CPU (%.4f %% of one core), %.0f wake-ups\n", use.cpu,
                use.cpu / 10 * 100, use.wakeups);
    std::printf("  whole process  %.3f s CPU\n", process);
    port.SetOpen(false);
    return 0;
}
