// The service tarvikd against the modem simulator, beside the desktop program:
// CPU while idle, tarvikd's memory and the libraries it maps, the time from the
// caller-ID line leaving the modem to the CID line at an NCID client, and a soak
// of reporting-kind calls told to NCID clients. Prints figures; it is not a test.
//   bench_service [--idle-seconds N] [--latency-calls N] [--calls N] [--clients N]
// Defaults 20, 20, 10000 and 10; 0 skips a part. A reporting-kind call ends 8 s
// after its last line and only then can the next one begin, so each soak call
// takes about 8.5 s: 100 calls fit a quarter of an hour.
#include "e2e_support.h"
#include "ncid_test_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

using namespace tarvik::e2e;

namespace {

struct Kind {
    const char* name;
    const char* cidMode;
    QStringList simArgs;
    // The last command of the greeting; the reporting kind sends it again at
    // each call's end.
    QByteArray greeting;
    bool withRings;        // the modem reports the caller by itself, with the rings
    QByteArray callerLine; // how the caller's transcript entry starts
    const char* rule;      // when the caller is complete
};

const Kind kFirmware{"firmware", "0", {}, "ATM2+S64=1", false, "CallerID:", "at once"};
const Kind kReporting{"reporting",
                      "1",
                      {"--cid-kind", "spaced"},
                      "AT+VCID=1",
                      true,
                      "DATE",
                      "500 ms after its last caller-ID line, or at the next ring"};

const char* programName(Program program) {
    return program == Program::Service ? "tarvikd" : "tarvik";
}

// A program of one kind against the simulator, its NCID server on a free port.
struct Run {
    Run(Program program, const Kind& kind, QStringList simArgs)
        : port(freeLoopbackPort()) {
        box.setParam("CidMode", kind.cidMode);
        box.setValue("NCID", "Enabled", "1");
        box.setValue("NCID", "Port", QString::number(port));
        sim = std::make_unique<Simulator>(box, kind.simArgs + simArgs);
        app = startProgram(program, box);
        started = sim->waitFor("rx", kind.greeting, 15s).kind == "rx" &&
                  eventually([this] { return !box.logLines().isEmpty(); }, 10s);
    }
    Sandbox box;
    quint16 port;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool started = false;
};

// The libraries of a desktop that the process has mapped.
QStringList desktopLibraries(qint64 pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) return {"(maps unreadable)"};
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString file = QString::fromUtf8(line.mid(line.lastIndexOf('/') + 1));
        for (const char* library :
             {"libQt6Gui", "libQt6Widgets", "libQt6DBus", "libcanberra", "libxcb", "libX11"})
            if (line.contains('/') && file.startsWith(library) && !found.contains(file))
                found.append(file);
    }
    return found;
}

struct Idle {
    double cpuPercent = -1;
    ProcessFigures figures;
    QStringList libraries;
};

Idle idle(Program program, const Kind& kind, int seconds) {
    Idle idle;
    Run run(program, kind, {});
    if (!run.started) return idle;
    QThread::sleep(2);
    idle.cpuPercent = cpuPercentOver(run.app->pid(), std::chrono::seconds(seconds));
    idle.figures = processFigures(run.app->pid());
    idle.libraries = desktopLibraries(run.app->pid());
    return idle;
}

// The CID line's arrival less the caller line's departure, on CLOCK_MONOTONIC.
struct Latency {
    std::vector<double> ms;
    ProcessFigures figures;
    QStringList libraries;
};

Latency callerToCid(const Kind& kind, int calls) {
    Latency latency;
    Run run(Program::Service, kind, {"--number", "5551234567", "--rings", "1"});
    if (!run.started) return latency;
    NcidClient client(run.port);
    client.startup();
    for (int call = 1; call <= calls; ++call) {
        run.sim->command("call");
        std::optional<NcidLine> cid;
        while (auto line = client.nextLine(15s))
            if (line->text.startsWith("CID:")) {
                cid = line;
                break;
            }
        const TranscriptEntry sent = run.sim->waitFor("tx", kind.callerLine, 2s, call);
        if (!cid || sent.kind.isEmpty()) {
            std::printf("  %s call %d: no CID line\n", kind.name, call);
            break;
        }
        const double arrived =
            std::chrono::duration<double, std::milli>(cid->at.time_since_epoch()).count();
        latency.ms.push_back(arrived - static_cast<double>(sent.monotonicMs));
        // The next call only once this one is over: the answer's end, or for the
        // reporting kind caller ID switched on again 8 s after the block.
        if (kind.withRings) {
            run.sim->waitFor("rx", kind.greeting, 15s, call + 1);
        } else {
            client.linesUntil("CIDINFO: *LINE*-*RING*0*", 5s);
            // The answer window ends on the modem's OK; a ring before then is purged.
            QThread::msleep(500);
        }
    }
    latency.figures = processFigures(run.app->pid());
    latency.libraries = desktopLibraries(run.app->pid());
    return latency;
}

// The soak: every call logged and told to every client, memory at a baseline
// call and at the last.
void soak(int calls, int clientCount) {
    Run run(Program::Service, kReporting, {"--cid-kind", "compact", "--rings", "1"});
    if (!run.started) {
        std::printf("soak: tarvikd did not start\n");
        return;
    }
    std::vector<std::unique_ptr<NcidClient>> clients;
    for (int i = 0; i < clientCount; ++i) {
        // The server takes at most 10 clients from one address.
        const QByteArray source = "127.0.5." + QByteArray::number(i / 10 + 1);
        clients.push_back(std::make_unique<NcidClient>(run.port, 10s, 0, source));
        clients.back()->startup();
    }
    const auto numberOf = [](int n) { return QByteArray::number(5550000000LL + n); };
    const int baselineCall = std::min(1000, std::max(1, calls / 10));
    TranscriptFollower transcript(run.sim->transcriptPath());
    int switchedOn = 0; // caller ID switched on: at the greeting and at each call's end
    std::vector<int> told(static_cast<std::size_t>(clientCount), 0);
    ProcessFigures baseline;
    QElapsedTimer clock;
    clock.start();
    int ended = 0;
    for (int n = 1; n <= calls; ++n) {
        run.sim->command("call " + numberOf(n));
        for (std::size_t c = 0; c < clients.size(); ++c) {
            const QList<QByteArray> lines = clients[c]->linesUntil("CID:", 15s);
            if (!lines.isEmpty() && lines.last().contains("*NMBR*" + numberOf(n) + "*")) ++told[c];
        }
        const bool over = eventually(
            [&] {
                for (const TranscriptEntry& entry : transcript.next())
                    if (entry.kind == "rx" && entry.text.startsWith(kReporting.greeting))
                        ++switchedOn;
                return switchedOn > n;
            },
            20s);
        if (!over) {
            std::printf("call %d: did not end\n", n);
            break;
        }
        ended = n;
        if (n == baselineCall) baseline = processFigures(run.app->pid());
        if (n % std::max(1, calls / 20) == 0)
            std::printf("  %5d calls, %5lld s\n", n,
                        static_cast<long long>(clock.elapsed() / 1000));
        std::fflush(stdout);
    }
    const ProcessFigures end = processFigures(run.app->pid());
    const long long seconds = clock.elapsed() / 1000;

    int logged = 0, inOrder = 0;
    for (const QByteArray& line : run.box.logLines()) {
        if (!line.startsWith("NMBR=")) continue;
        if (line == "NMBR=" + numberOf(++logged)) ++inOrder;
    }
    const auto [fewest, most] = std::minmax_element(told.begin(), told.end());
    const int closed = static_cast<int>(
        std::count_if(clients.begin(), clients.end(), [](const auto& c) { return c->closed(); }));
    std::printf("\nSoak: %d reporting-kind calls (compact block, one ring), %d NCID clients\n",
                ended, clientCount);
    std::printf("  %-34s %lld s (%.2f s a call)\n", "time", seconds,
                ended ? static_cast<double>(seconds) / ended : 0.0);
    std::printf("  %-34s %d (%d in order, expected %d)\n", "callers logged", logged, inOrder,
                ended);
    std::printf("  %-34s fewest %d, most %d (expected %d); %d clients closed\n",
                "CID lines per client", told.empty() ? 0 : *fewest, told.empty() ? 0 : *most, ended,
                closed);
    std::printf("  %-34s %ld KiB\n",
                QByteArray("VmRSS at call " + QByteArray::number(baselineCall)).constData(),
                baseline.rssKiB);
    std::printf("  %-34s %ld KiB (growth %+ld KiB), peak %ld KiB\n",
                QByteArray("VmRSS at call " + QByteArray::number(ended)).constData(), end.rssKiB,
                end.rssKiB - baseline.rssKiB, end.peakKiB);
    std::printf("  %-34s %d descriptors, %d threads\n", "at the end", end.openFiles, end.threads);
}

int option(const QStringList& arguments, const QString& name, int fallback) {
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 ? arguments.value(at + 1).toInt() : fallback;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int idleSeconds = option(arguments, "--idle-seconds", 20);
    const int latencyCalls = option(arguments, "--latency-calls", 20);
    const int calls = option(arguments, "--calls", 10000);
    const int clients = option(arguments, "--clients", 10);

    if (idleSeconds > 0) {
        std::printf("Idle CPU over %d s (%% of one core; the desktop program offscreen)\n",
                    idleSeconds);
        std::printf("  %-9s %-10s %8s %12s  %s\n", "program", "kind", "CPU", "VmHWM",
                    "desktop libraries mapped");
        for (const Program program : {Program::Service, Program::Desktop})
            for (const Kind* kind : {&kFirmware, &kReporting}) {
                const Idle figures = idle(program, *kind, idleSeconds);
                std::printf("  %-9s %-10s %7.3f%% %8ld KiB  %lld\n", programName(program),
                            kind->name, figures.cpuPercent, figures.figures.peakKiB,
                            static_cast<long long>(figures.libraries.size()));
                std::fflush(stdout);
            }
    }
    if (latencyCalls > 0) {
        std::printf("\nCaller line out of the modem to the CID line at a client, tarvikd, "
                    "%d calls a kind (CLOCK_MONOTONIC both sides)\n",
                    latencyCalls);
        std::printf("  %-10s %9s %9s  %s\n", "kind", "median", "max", "the kind's rule");
        for (const Kind* kind : {&kFirmware, &kReporting}) {
            const Latency latency = callerToCid(*kind, latencyCalls);
            const double most =
                latency.ms.empty() ? -1 : *std::max_element(latency.ms.begin(), latency.ms.end());
            std::printf("  %-10s %6.1f ms %6.1f ms  %s (%zu calls)\n", kind->name,
                        median(latency.ms), most, kind->rule, latency.ms.size());
            std::printf("  %-10s tarvikd after them: VmHWM %ld KiB, VmRSS %ld KiB; desktop "
                        "libraries mapped: %s\n",
                        "", latency.figures.peakKiB, latency.figures.rssKiB,
                        latency.libraries.isEmpty()
                            ? "none"
                            : latency.libraries.join(' ').toLocal8Bit().constData());
            std::fflush(stdout);
        }
    }
    if (calls > 0) soak(calls, clients);
    return 0;
}
