// Modems that report the caller with the rings, on the real program against the
// simulator: the time from the caller-ID block to the caller's log line (written
// right before the number goes on the display), and the program's CPU while idle
// with such a modem and with the firmware's. Prints the figures; it is not a test.
// Argument: the number of calls (10).
#include "e2e_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvik::e2e;

namespace {

bool started(Sandbox& box, Simulator& sim, const QByteArray& initCommand) {
    return sim.waitFor("rx", initCommand, 15s).kind == "rx" &&
           eventually([&] { return !box.logLines().isEmpty(); }, 10s);
}

// Polls every millisecond for the block going out and the caller's log line;
// the delay in ms, or -1.
double blockToLog(Sandbox& box, Simulator& sim, int call) {
    const qsizetype logged = box.logLines().count("NMBR = 5551234567");
    sim.command("call");
    QElapsedTimer clock;
    clock.start();
    qint64 blockAt = -1;
    while (clock.elapsed() < 15000) {
        if (blockAt < 0 && sim.count("tx", "DATE") >= call) blockAt = clock.nsecsElapsed();
        if (box.logLines().count("NMBR = 5551234567") > logged)
            return blockAt < 0 ? -1 : static_cast<double>(clock.nsecsElapsed() - blockAt) / 1e6;
        QThread::usleep(1000);
    }
    return -1;
}

double idleCpu(bool reporting) {
    Sandbox box;
    QStringList simArgs;
    if (reporting) {
        box.setParam("CidMode", "1");
        simArgs = {"--cid-kind", "spaced"};
    }
    Simulator sim(box, simArgs);
    Tarvik program(box);
    if (!started(box, sim, reporting ? "AT+VCID=1" : "ATM2+S64=1")) return -1;
    QThread::sleep(2);
    return cpuPercentOver(program.pid(), 30s);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = std::max(1, app.arguments().value(1, "10").toInt());

    Sandbox box;
    box.setParam("CidMode", "1");
    Simulator sim(box, {"--cid-kind", "spaced", "--number", "5551234567", "--rings", "1"});
    Tarvik program(box);
    if (!started(box, sim, "AT+VCID=1")) {
        std::printf("the program did not start\n");
        return 1;
    }
    std::vector<double> delays;
    for (int call = 1; call <= calls; ++call) {
        const double delay = blockToLog(box, sim, call);
        if (delay < 0) {
            std::printf("call %d: no caller logged\n", call);
            return 1;
        }
        delays.push_back(delay);
        // The call ends 8 s after its last line; the next one is a new call.
        QThread::msleep(8500);
    }
    std::sort(delays.begin(), delays.end());
    std::printf("caller-ID block to the caller on the display, %d calls (polled every ms): "
                "median %.1f ms, max %.1f ms (goal: at most 600 ms, 500 of them the wait "
                "for more lines)\n",
                calls, delays[delays.size() / 2], delays.back());

    std::printf("CPU while idle over 30 s: reporting modem %.3f %%, firmware modem %.3f %% "
                "of one core\n",
                idleCpu(true), idleCpu(false));
    return 0;
}
