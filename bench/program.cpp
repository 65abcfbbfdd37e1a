// Figures of the whole program against the modem simulator: ring-to-answer
// latency, CPU while a dial waits on a silent modem, CPU while idle, start-up
// time and peak memory. Prints them; it is not a test.
#include "e2e_support.h"
#include "x11_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace tarvik::e2e;

namespace {

// User plus system CPU seconds of a process so far, all its threads included.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long statusKiB(qint64 pid, const char* key) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return -1;
}

double cpuShareOver(qint64 pid, int seconds) {
    const double before = cpuSeconds(pid);
    QThread::sleep(seconds);
    return (cpuSeconds(pid) - before) / seconds * 100.0;
}

void ringToAnswer(int calls) {
    Sandbox box;
    Simulator sim(box, {"--rings", "1", "--every", "4s", "--delay", "3s"});
    Tarvik app(box);
    QList<long long> latencies;
    for (int n = 1; n <= calls; ++n) {
        const auto ring = sim.waitFor("tx", "RING", 10s, n);
        const auto answer = sim.waitFor("rx", "AT+SR", 10s, n);
        if (answer.kind.isEmpty()) break;
        latencies.append(answer.ms - ring.ms);
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.isEmpty()) {
        std::printf("ring to answer: no call answered\n");
        return;
    }
    std::printf("ring to answer (%lld calls): median %lld ms, min %lld ms, max %lld ms\n",
                static_cast<long long>(latencies.size()), latencies[latencies.size() / 2],
                latencies.first(), latencies.last());
}

void idleAndStart(int idleSeconds) {
    Sandbox box;
    Simulator sim(box, {});
    QElapsedTimer started;
    started.start();
    Tarvik app(box);
    // The second OK answers the init string; polled every 20 ms.
    sim.waitFor("tx", "OK", 15s, 2);
    const qint64 replyMs = started.elapsed();
    eventually([&box] { return !box.logLines().isEmpty(); }, 10s);
    std::printf(
        "start to the init string's reply: %lld ms; to the start line in the log: %lld ms\n",
        static_cast<long long>(replyMs), static_cast<long long>(started.elapsed()));
    std::printf("idle with the port open over %d s: %.2f %% of one core\n", idleSeconds,
                cpuShareOver(app.pid(), idleSeconds));
    std::printf("peak memory (VmHWM): %ld KiB, resident now %ld KiB\n",
                statusKiB(app.pid(), "VmHWM:"), statusKiB(app.pid(), "VmRSS:"));
}

void silentDial(int seconds) {
    XServer x;
    if (!x.started()) {
        std::printf("silent dial: skipped (no Xvfb)\n");
        return;
    }
    Sandbox box;
    Simulator sim(box, {"--dial-result", "none"});
    QProcessEnvironment env;
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", x.display());
    Tarvik app(box, env);
    sim.waitFor("rx", "ATM2+S64=1");
    const QString window = x.findWindow("^TARVIK \\[Courier TREVA 2\\.51\\+\\]$", 15000);
    x.xdotool({"windowfocus", "--sync", window});
    x.xdotool({"key", "--delay", "100", "1", "2", "3", "space"});
    if (sim.waitFor("rx", "ATDP", 5s).kind.isEmpty()) {
        std::printf("silent dial: the dial did not start\n");
        return;
    }
    std::printf("silent dial wait over %d s: %.2f %% of one core\n", seconds,
                cpuShareOver(app.pid(), seconds));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    ringToAnswer(quick ? 5 : 20);
    silentDial(10);
    idleAndStart(quick ? 10 : 30);
    return 0;
}
