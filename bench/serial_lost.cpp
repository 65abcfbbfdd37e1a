// A port whose device has gone, left open: how soon it is reported lost, the CPU
// its threads use meanwhile, and how long the close takes. The device is a
// pseudo-terminal whose master is closed, as the simulator's unplug does.
#include "serial_bench.h"

#include <QCoreApplication>

using namespace tarvik;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr auto kLostFor = 5s;
    test::ScopedConfigHome config;
    test::PtyPair pty;
    TCommPort port;
    if (!bench::openOnPty(port, config, pty)) return 1;
    bench::serveUiFor(500ms);
    port.WriteString("AT\r\n");

    pty.closeMaster();
    const auto unplugged = bench::Clock::now();
    if (!bench::serveUiUntil([&] { return port.DeviceLost(); }, 5s)) {
        std::fprintf(stderr, "the lost device was not reported within 5 s\n");
        return 1;
    }
    const double reportedAfter = bench::secondsSince(unplugged);

    const auto before = bench::portThreadTimes();
    const double cpu = test::cpuSeconds();
    bench::serveUiFor(kLostFor);
    const double process = test::cpuSeconds() - cpu;
    const auto after = bench::portThreadTimes();
    const double seconds = std::chrono::duration<double>(kLostFor).count();

    std::printf("port left open on a pseudo-terminal whose master was closed\n");
    std::printf("  reported lost after %.0f ms\n", reportedAfter * 1000);
    std::printf("  over the next %.0f s:\n", seconds);
    const bench::ThreadUse use = bench::printThreadUse(before, after);
    std::printf("  three threads  %.3f ms CPU per second, %.1f wake-ups per second\n",
                use.cpu * 1000 / seconds, use.wakeups / seconds);
    std::printf("  whole process  %.3f ms CPU per second\n", process * 1000 / seconds);

    const auto closing = bench::Clock::now();
    port.SetOpen(false);
    std::printf("  close took %.0f ms\n", bench::secondsSince(closing) * 1000);
    return 0;
}
