// The NCID server of the real program against the simulator: the delay from a
// caller's log line to the "CID:" line at the first client, with 1 and with 50
// clients connected, and the program's memory with 0 and with 50 clients.
// Prints the figures; it is not a test. Argument: calls per client count (20).
#include "e2e_support.h"
#include "ncid_test_client.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvik::e2e;

namespace {

bool sawStartupEnd(NcidClient& client) {
    const QList<QByteArray> lines = client.startup(30s);
    return !lines.isEmpty() && lines.last().startsWith("300 ");
}

void printMemory(const char* when, qint64 pid) {
    const ProcessFigures figures = processFigures(pid);
    std::printf("memory with %s: RSS %ld KiB, peak %ld KiB\n", when, figures.rssKiB,
                figures.peakKiB);
}

// Makes `calls` calls, one after another, and prints the spread of the delays
// seen at `first`; the other clients' lines are read and dropped.
bool measureCalls(Sandbox& box, Simulator& sim, std::vector<std::unique_ptr<NcidClient>>& clients,
                  int calls) {
    std::vector<double> delaysMs;
    for (int n = 0; n < calls; ++n) {
        const qint64 offset = box.log().size();
        sim.command("call");
        const CallerToCid seen = watchCallerToCid(*clients.front(), box.logPath(), offset, 15s);
        if (!seen.delay) {
            std::printf("call %d: no CID line at the first client\n", n + 1);
            return false;
        }
        delaysMs.push_back(static_cast<double>(seen.delay->count()) / 1000.0);
        // The answer window ends on the modem's OK; the next ring waits for it.
        QThread::msleep(400);
        for (auto& client : clients)
            client->readAvailable();
    }
    std::sort(delaysMs.begin(), delaysMs.end());
    std::printf("log line to CID at the first of %zu client(s), %d calls (log polled every ms; "
                "the delay plus at most one poll): median %.2f ms, max "
                "%.2f ms\n",
                clients.size(), calls, delaysMs[delaysMs.size() / 2], delaysMs.back());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = std::max(1, app.arguments().value(1, "20").toInt());

    Sandbox box;
    const quint16 port = freeLoopbackPort();
    box.setValue("NCID", "Enabled", "1");
    box.setValue("NCID", "Port", QString::number(port));
    Simulator sim(box, {"--number", "0012345678", "--rings", "1", "--answer-delay", "50ms"});
    Tarvik program(box);
    if (sim.waitFor("rx", "ATM2+S64=1", 15s).kind.isEmpty() ||
        !eventually([&] { return !box.logLines().isEmpty(); }, 10s)) {
        std::printf("the program did not start\n");
        return 1;
    }
    QThread::msleep(500);
    printMemory("0 clients", program.pid());

    std::vector<std::unique_ptr<NcidClient>> clients;
    clients.push_back(std::make_unique<NcidClient>(port));
    if (!sawStartupEnd(*clients.front())) {
        std::printf("the server did not greet the first client\n");
        return 1;
    }
    if (!measureCalls(box, sim, clients, calls)) return 1;

    while (clients.size() < 50)
        clients.push_back(std::make_unique<NcidClient>(port));
    for (auto& client : clients)
        if (client.get() != clients.front().get() && !sawStartupEnd(*client)) {
            std::printf("a client was not greeted\n");
            return 1;
        }
    printMemory("50 clients", program.pid());
    if (!measureCalls(box, sim, clients, calls)) return 1;
    printMemory("50 clients after the calls", program.pid());
    return 0;
}
