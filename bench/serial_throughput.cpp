// Moves 4 MiB from a pseudo-terminal into the port's receive buffer, drained by a
// consumer thread, beside a plain read() loop on the same kind of terminal.
#include "serial_bench.h"

#include <QCoreApplication>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kTotal = 4u << 20;

struct Figures {
    double wall = 0;
    double cpu = 0;
};

std::string payload() {
    std::string data(kTotal, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    return data;
}

Figures plainRead(const std::string& data) {
    test::PtyPair pty;
    const int fd = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY);
    const double cpu = test::cpuSeconds();
    const auto start = bench::Clock::now();
    std::thread sender([&] { pty.send(data); });
    std::size_t got = 0;
    char buf[4096];
    while (got < kTotal) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    sender.join();
    Figures f{bench::secondsSince(start), test::cpuSeconds() - cpu};
    ::close(fd);
    if (got != kTotal) std::fprintf(stderr, "plain read got %zu bytes\n", got);
    return f;
}

Figures throughPort(const std::string& data) {
    test::ScopedConfigHome config;
    test::PtyPair pty;
    TCommPort port;
    std::mutex lock;
    std::condition_variable ready;
    port.SetDataReadyCallback([&] {
        { std::lock_guard guard(lock); }
        ready.notify_one();
    });
    if (!bench::openOnPty(port, config, pty)) return {};
    bench::serveUiFor(200ms); // the first report of the line states

    std::atomic<bool> done{false};
    std::string received;
    received.reserve(kTotal);
    const double cpu = test::cpuSeconds();
    const auto start = bench::Clock::now();
    std::thread sender([&] { pty.send(data); });
    std::thread consumer([&] {
        char buf[4096];
        while (received.size() < kTotal) {
            {
                std::unique_lock guard(lock);
                ready.wait_for(guard, 10ms, [&] { return port.InCount() > 0; });
            }
            received.append(buf, static_cast<std::size_t>(port.ReadBuffer(buf, sizeof buf)));
        }
        done = true;
        wakeUiWaiters();
    });
    waitRunningUiSteps([&] { return done.load(); });
    Figures f{bench::secondsSince(start), test::cpuSeconds() - cpu};
    sender.join();
    consumer.join();
    if (received != data) std::fprintf(stderr, "the port's bytes differ from what was sent\n");
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string data = payload();
    const Figures plain = plainRead(data);
    const Figures port = throughPort(data);
    std::printf("4 MiB from a pseudo-terminal\n");
    std::printf("  plain read() loop : wall %.3f s, CPU %.3f s, %.1f MiB/s\n", plain.wall,
                plain.cpu, 4 / plain.wall);
    std::printf("  through TCommPort : wall %.3f s, CPU %.3f s, %.1f MiB/s\n", port.wall, port.cpu,
                4 / port.wall);
    std::printf("  ratio port/plain  : wall %.2f, CPU %.2f\n", port.wall / plain.wall,
                port.cpu / plain.cpu);
    return 0;
}
