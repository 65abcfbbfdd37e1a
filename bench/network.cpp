// The desktop program taking its calls from an NCID server (the test server):
// the time from a "CID:" line leaving the server to the caller's log line
// (written right before the number goes on the display), and the program's CPU
// while idle and connected, beside its CPU with a modem. Prints the figures; it
// is not a test. Argument: the number of calls (20).
#include "e2e_support.h"
#include "ncid_test_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvik::e2e;

namespace {

// The delay in ms from the line's send to its caller in the log, polled every
// millisecond; -1 when it did not come.
double cidToLog(Sandbox& box, NcidTestServer& server, int call) {
    const QByteArray number = "55512" + QByteArray::number(10000 + call);
    QElapsedTimer clock;
    clock.start();
    server.send("CID: *DATE*12092026*TIME*1045*LINE*-*NMBR*" + number + "*MESG*NONE*NAME*BENCH*");
    while (clock.elapsed() < 5000) {
        if (box.logLines().contains("NMBR = " + number))
            return static_cast<double>(clock.nsecsElapsed()) / 1e6;
        QThread::usleep(1000);
    }
    return -1;
}

double idleCpuWithModem() {
    Sandbox box;
    Simulator sim(box, {});
    Tarvik program(box);
    if (sim.waitFor("rx", "ATM2+S64=1", 15s).kind != "rx") return -1;
    QThread::sleep(2);
    return cpuPercentOver(program.pid(), 30s);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = std::max(1, app.arguments().value(1, "20").toInt());

    NcidTestServer server;
    Sandbox box;
    box.setParam("CidMode", "2");
    box.setParam("NcidServer", "127.0.0.1:" + QString::number(server.port()));
    Tarvik program(box);
    if (!server.waitForClients(1, 15s)) {
        std::printf("the program did not connect\n");
        return 1;
    }
    QThread::sleep(2);
    const double idleConnected = cpuPercentOver(program.pid(), 30s);

    std::vector<double> delays;
    for (int call = 1; call <= calls; ++call) {
        const double delay = cidToLog(box, server, call);
        if (delay < 0) {
            std::printf("call %d: no caller logged\n", call);
            return 1;
        }
        delays.push_back(delay);
    }
    std::sort(delays.begin(), delays.end());
    std::printf("CID line to the caller on the display, %d calls (polled every ms): median %.1f "
                "ms, max %.1f ms (goal: at most 30 ms)\n",
                calls, delays[delays.size() / 2], delays.back());
    std::printf("CPU while idle over 30 s: connected to an NCID server %.3f %%, with a modem "
                "%.3f %% of one core (goal: no more than with a modem)\n",
                idleConnected, idleCpuWithModem());
    return 0;
}
