// The program's answer while NCID clients fetch a 2 MB call log over and over,
// for 0, 10 and 49 such clients: the delay from the configured ring (the third)
// to the answer, median and max, and the CPU use over the calls of the whole
// program and of its "tarvik-ncid" thread. Prints the figures; it is not a test.
// Argument: calls per load (8).
#include "ncid_load.h"
#include "e2e_support.h"
#include "ncid_test_client.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace tarvik::e2e;

namespace {

// User plus system CPU seconds of the program's thread called `name`; -1 when
// it has none.
double threadCpuSeconds(qint64 pid, const QByteArray& name) {
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + tid + "/comm");
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile stat(tasks + tid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) return -1;
        const QByteArray line = stat.readAll();
        // Fields after the name, which may hold blanks: state is the first.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

// The callers logged from byte `offset` of the log on.
int callersSince(const Sandbox& box, qint64 offset) {
    QFile file(box.logPath());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) return 0;
    return static_cast<int>(file.readAll().count("CallerID:"));
}

struct Run {
    Sandbox box;
    quint16 port = freeLoopbackPort();
    qint64 preloaded = 0;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> program;
    int calls = 0; // made so far
};

// Makes `calls` calls, one after another, with `clients` fetching the log meanwhile.
bool measure(Run& run, int clients, int calls) {
    std::unique_ptr<NcidLoad> load;
    if (clients > 0) {
        load = std::make_unique<NcidLoad>(run.port, clients);
        if (!eventually([&] { return load->fewestFetches() > 0; }, 60s))
            std::printf("%d clients: not every client got the log within 60 s\n", clients);
    }
    const qint64 pid = run.program->pid();
    const auto fetches = [&] { return load ? load->fetches() : 0; };
    const auto bytes = [&] { return load ? load->bytesRead() : 0; };
    const long long fetchesBefore = fetches();
    const long long bytesBefore = bytes();
    const double programBefore = processFigures(pid).cpuSeconds;
    const double threadBefore = threadCpuSeconds(pid, "tarvik-ncid");
    const auto start = Clock::now();

    std::vector<long long> delaysMs;
    for (int n = 0; n < calls; ++n) {
        const int call = ++run.calls;
        run.sim->command("call");
        if (!eventually([&] { return callersSince(run.box, run.preloaded) >= call; }, 30s)) {
            std::printf("%d clients: call %d was not logged\n", clients, call);
            return false;
        }
        // The answer window ends on the modem's OK; a ring before it is purged.
        QThread::msleep(1000);
        const TranscriptEntry ring = run.sim->waitFor("tx", "RING", 1s, 3 * call);
        const TranscriptEntry answer = run.sim->waitFor("rx", "AT+SR", 1s, call);
        if (ring.kind.isEmpty() || answer.kind.isEmpty()) {
            std::printf("%d clients: call %d has no third ring or no answer\n", clients, call);
            return false;
        }
        delaysMs.push_back(answer.ms - ring.ms);
    }

    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double programCpu = processFigures(pid).cpuSeconds - programBefore;
    const double threadAfter = threadCpuSeconds(pid, "tarvik-ncid");
    std::sort(delaysMs.begin(), delaysMs.end());
    std::printf("%2d clients fetching the log, %d calls: third ring to answer median %lld ms, "
                "max %lld ms; CPU over %.1f s: program %.1f %%, ",
                clients, calls, delaysMs[delaysMs.size() / 2], delaysMs.back(), seconds,
                programCpu / seconds * 100.0);
    if (threadBefore < 0 || threadAfter < 0)
        std::printf("no tarvik-ncid thread");
    else
        std::printf("tarvik-ncid %.1f %%", (threadAfter - threadBefore) / seconds * 100.0);
    std::printf(" of one core; %lld fetches (%.0f MB/s)", fetches() - fetchesBefore,
                static_cast<double>(bytes() - bytesBefore) / seconds / 1e6);
    if (load) std::printf(", %lld connections cut", load->cut());
    std::printf("\n");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = std::max(1, app.arguments().value(1, "8").toInt());

    Run run;
    run.box.setValue("NCID", "Enabled", "1");
    run.box.setValue("NCID", "Port", QString::number(run.port));
    run.box.setParam("AnswerOnRing", "3");
    if (!writeCallLog(run.box.logPath(), 2 << 20)) {
        std::printf("the call log could not be written\n");
        return 1;
    }
    run.preloaded = QFile(run.box.logPath()).size();
    // Rings 300 ms apart: the program stops waiting for the next one after 400 ms.
    run.sim = std::make_unique<Simulator>(
        run.box, QStringList{"--number", "0012345678", "--rings", "3", "--gap", "300ms"});
    run.program = std::make_unique<Tarvik>(run.box);
    if (run.sim->waitFor("rx", "ATM2+S64=1", 15s).kind.isEmpty()) {
        std::printf("the program did not start\n");
        return 1;
    }
    QThread::msleep(500);
    for (const int clients : {0, 10, 49})
        if (!measure(run, clients, calls)) return 1;
    return 0;
}
