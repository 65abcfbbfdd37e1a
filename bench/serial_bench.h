#pragma once
// Shared bits of the serial benchmarks.
#include "platform/ui_handover.h"
#include "serial/CommPort.h"
#include "serial_test_support.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
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

// The same until `done` holds (tested every 10 ms); false when the time ran out.
inline bool serveUiUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        serveUiFor(std::chrono::milliseconds(10));
    }
    return true;
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

// Per thread name, seconds on a CPU so far (nanosecond counts of schedstat), for
// the port's threads; the second figure is how often each was scheduled in.
using ThreadTimes = std::map<std::string, std::pair<double, double>>;

inline ThreadTimes portThreadTimes() {
    ThreadTimes times;
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

struct ThreadUse {
    double cpu = 0; // seconds
    double wakeups = 0;
};

// Prints what each port thread used between two samples; returns their sum.
inline ThreadUse printThreadUse(const ThreadTimes& before, const ThreadTimes& after) {
    ThreadUse total;
    for (const auto& [name, figures] : after) {
        const auto earlier = before.find(name);
        if (earlier == before.end()) continue;
        const double used = figures.first - earlier->second.first;
        const double runs = figures.second - earlier->second.second;
        total.cpu += used;
        total.wakeups += runs;
        std::printf("  %-14s %.4f s CPU, %4.0f wake-ups\n", name.c_str(), used, runs);
    }
    return total;
}

} // namespace tarvik::bench
