// 200 open/close cycles while data streams in: time per cycle, and the
// descriptors and threads left afterwards.
#include "serial_bench.h"

#include <QCoreApplication>

#include <atomic>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kCycles = 200;
    test::ScopedConfigHome config;
    test::PtyPair pty;
    config.linkCom(7, pty.devicePath());
    const int fdsBefore = test::procEntries("/proc/self/fd");
    const int threadsBefore = test::procEntries("/proc/self/task");

    std::atomic<bool> stop{false};
    std::atomic<std::size_t> streamed{0};
    std::thread streamer([&] {
        const std::string chunk(256, 'R');
        while (!stop) {
            pollfd p{pty.master(), POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::write(pty.master(), chunk.data(), chunk.size());
            if (n > 0) streamed += static_cast<std::size_t>(n);
            std::this_thread::sleep_for(1ms);
        }
    });

    std::size_t received = 0;
    double slowest = 0;
    double first = 0;
    const auto start = bench::Clock::now();
    {
        TCommPort port;
        port.SetComNumber(7);
        char buf[2048];
        for (int i = 0; i < kCycles; ++i) {
            const auto cycle = bench::Clock::now();
            port.SetOpen(true);
            if (!port.Open()) {
                std::fprintf(stderr, "open %d failed\n", i);
                break;
            }
            bench::serveUiFor(20ms);
            received += static_cast<std::size_t>(port.ReadBuffer(buf, sizeof buf));
            port.SetOpen(false);
            const double took = bench::secondsSince(cycle);
            if (i == 0)
                first = took;
            else
                slowest = std::max(slowest, took);
        }
    }
    const double total = bench::secondsSince(start);
    stop = true;
    streamer.join();

    std::printf("%d open/close cycles on a pseudo-terminal with data streaming in\n", kCycles);
    std::printf("  first cycle      %.3f s (the open waits for the first line report)\n", first);
    std::printf("  later cycles     %.3f s on average, slowest %.3f s\n",
                (total - first) / (kCycles - 1), slowest);
    std::printf("  streamed %zu bytes, %zu taken by the cycles\n", streamed.load(), received);
    std::printf("  descriptors left %d, threads left %d, port threads left %d\n",
                test::procEntries("/proc/self/fd") - fdsBefore,
                test::procEntries("/proc/self/task") - threadsBefore, test::portThreads());
    return 0;
}
