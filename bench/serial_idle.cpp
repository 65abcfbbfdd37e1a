// CPU used by an open, idle port over 10 s: its three threads together.
#include "serial_bench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <map>

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

// Per thread name, seconds on a CPU so far (nanosecond counts of schedstat), for
// the port's threads; the second figure is how often each was scheduled in.
std::map<std::string, std::pair<double, double>> portThreadTimes() {
    std::map<std::string, std::pair<double, double>> times;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        QFile stat(QStringLiteral("/proc/self/task/%1/schedstat").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray name = comm.readAll().trimmed();
        if (!name.startsWith("tarvik-")) continue;
        const QList<QByteArray> fields = stat.readAll().trimmed().split(' ');
        times[name.toStdString()] = {fields.value(0).toDouble() / 1e9, fields.value(2).toDouble()};
    }
    return times;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    test::ScopedConfigHome config;
    test::PtyPair pty;
    TCommPort port;
    if (!bench::openOnPty(port, config, pty)) return 1;
    bench::serveUiFor(500ms);
    const auto before = portThreadTimes();
    const double cpu = test::cpuSeconds();
    bench::serveUiFor(10s);
    const double process = test::cpuSeconds() - cpu;
    const auto after = portThreadTimes();
    double total = 0;
    std::printf("open idle port on a pseudo-terminal, 10 s\n");
    double wakeups = 0;
    for (const auto& [name, figures] : after) {
        const double used = figures.first - before.at(name).first;
        const double runs = figures.second - before.at(name).second;
        total += used;
        wakeups += runs;
        std::printf("  %-14s %.4f s CPU, %4.0f wake-ups\n", name.c_str(), used, runs);
    }
    std::printf("  three threads  %.4f s CPU (%.4f %% of one core), %.0f wake-ups\n", total,
                total / 10 * 100, wakeups);
    std::printf("  whole process  %.3f s CPU\n", process);
    port.SetOpen(false);
    return 0;
}
