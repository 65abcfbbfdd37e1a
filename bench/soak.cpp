// A long run of the whole program: calls in a row with caller IDs, each handed over
// with the space bar, and dials typed in between, on a private X server. Checks the
// log (every caller-ID line once and in order, each followed by its category text)
// and prints memory, descriptor and thread figures. Not a test: it takes a while.
//   bench_soak [CALLS]   (default 500)
#include "e2e_support.h"
#include "x11_support.h"

#include "modem/number_display.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

using namespace tarvik::e2e;

namespace {

constexpr int kBaselineCall = 50;
constexpr int kDialEvery = 5;
const char* const kDialResults[] = {"OK", "BUSY", "NOCARRIER", "ERROR", "NO DIAL"};

// The caller of call n: seven digits unique to it and a category digit.
QByteArray callerOf(int n) {
    return QByteArray::number(1000000 + n) + QByteArray::number(n % 10);
}

void print(const char* what, const ProcessFigures& f) {
    std::printf("%-22s RSS %6ld KiB, peak %6ld KiB, %3d descriptors, %2d threads, CPU %.1f s\n",
                what, f.rssKiB, f.peakKiB, f.openFiles, f.threads, f.cpuSeconds);
}

// The lines that count here: caller IDs, the texts after them, dial results.
struct LogCheck {
    int callerLines = 0;
    int outOfOrder = 0;
    int missingCategory = 0;
    int dialLines = 0;
};

LogCheck checkLog(const QList<QByteArray>& lines, int calls) {
    LogCheck check;
    int expected = 1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.startsWith("Outgoing call to ")) ++check.dialLines;
        if (!line.contains("CallerID:")) continue;
        ++check.callerLines;
        if (expected > calls || line != "CallerID: " + callerOf(expected)) ++check.outOfOrder;
        const int category = line.right(1).toInt();
        if (i + 1 >= lines.size() ||
            lines[i + 1] != tarvik::CallerCategories()[static_cast<std::size_t>(category)])
            ++check.missingCategory;
        ++expected;
    }
    return check;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? std::max(kBaselineCall + 1, std::atoi(argv[1])) : 500;

    XServer x;
    if (!x.started()) {
        std::printf("soak: skipped (no Xvfb)\n");
        return 0;
    }
    Sandbox box;
    Simulator sim(box, {"--rings", "1", "--answer-delay", "100ms", "--dial-delay", "200ms"});
    Tarvik tarvik(box, x.clientEnvironment());
    if (sim.waitFor("rx", "ATM2+S64=1", 15s).kind.isEmpty()) {
        std::printf("soak: the program did not initialise the modem\n");
        return 1;
    }
    const QString window = x.findWindow(kMainWindowTitle, 15000);
    if (window.isEmpty()) {
        std::printf("soak: no main window on the X server\n");
        return 1;
    }
    eventually([&box] { return box.logLines().size() >= 1; });

    const auto type = [&](const QStringList& keys) {
        x.xdotool({"windowfocus", "--sync", window});
        x.xdotool(QStringList{"key", "--delay", "40"} + keys);
    };

    QElapsedTimer clock;
    clock.start();
    ProcessFigures baseline;
    qsizetype logged = box.logLines().size();
    int handovers = 0, dials = 0, failures = 0;
    // The first step that times out shows what the modem and the log saw last.
    const auto failed = [&](const char* what, int n) {
        std::printf("call %d: %s\n", n, what);
        if (failures++ > 0) return;
        const auto entries = sim.transcript();
        for (qsizetype i = std::max<qsizetype>(0, entries.size() - 12); i < entries.size(); ++i)
            std::printf("  %6lld %-5s %s\n", entries[i].ms, entries[i].kind.constData(),
                        entries[i].text.constData());
        const auto lines = box.logLines();
        for (qsizetype i = std::max<qsizetype>(0, lines.size() - 4); i < lines.size(); ++i)
            std::printf("  log: %s\n", lines[i].constData());
    };
    for (int n = 1; n <= calls; ++n) {
        sim.command("call " + callerOf(n));
        // The caller-ID line and its category text.
        if (!eventually([&] { return box.logLines().size() >= logged + 2; }, 15s))
            failed("not logged", n);
        logged = box.logLines().size();
        // Hand over once the answer window has closed, so the space bar is Talk.
        QThread::msleep(120);
        type({"space"});
        if (sim.waitFor("ev", "handover", 10s, ++handovers).kind.isEmpty())
            failed("no hand-over", n);
        // Talk's pause purges what arrives in it, a ring too.
        QThread::msleep(300);
        if (n % kDialEvery == 0) {
            const char* result = kDialResults[(n / kDialEvery) % std::size(kDialResults)];
            sim.command(QByteArray("dial-result ") + result);
            QStringList digits;
            for (const char c : QByteArray::number(n))
                digits << QString(QChar::fromLatin1(c));
            type(digits << "space");
            ++dials;
            if (!eventually([&] { return box.logLines().size() >= logged + 1; }, 10s))
                failed("the dial after it was not logged", n);
            logged = box.logLines().size();
        }
        if (n == kBaselineCall) {
            QThread::msleep(500);
            baseline = processFigures(tarvik.pid());
        }
        if (n % 50 == 0)
            std::printf("%4d calls, %4lld s\n", n, static_cast<long long>(clock.elapsed() / 1000));
        std::fflush(stdout);
    }
    QThread::msleep(500);
    const ProcessFigures end = processFigures(tarvik.pid());
    const long long seconds = clock.elapsed() / 1000;
    const int exitCode = tarvik.terminate(15s);

    const LogCheck check = checkLog(box.logLines(), calls);
    std::printf("\n%d calls, %d hand-overs, %d dials in %lld s (%.2f s a call)\n", calls, handovers,
                dials, seconds, static_cast<double>(seconds) / calls);
    print("after call 50:", baseline);
    char label[32];
    std::snprintf(label, sizeof label, "after call %d:", calls);
    print(label, end);
    std::printf("resident growth from call 50: %ld KiB (limit 1024)\n",
                end.rssKiB - baseline.rssKiB);
    std::printf("descriptors left over: %d, threads left over: %d\n",
                end.openFiles - baseline.openFiles, end.threads - baseline.threads);
    std::printf("log: %d caller-ID lines (expected %d), %d out of order, %d without the "
                "category text after them, %d dial results (expected %d)\n",
                check.callerLines, calls, check.outOfOrder, check.missingCategory, check.dialLines,
                dials);
    std::printf("steps that timed out: %d; exit code %d\n", failures, exitCode);
    const bool ok = failures == 0 && exitCode == 0 && check.callerLines == calls &&
                    check.outOfOrder == 0 && check.missingCategory == 0 &&
                    check.dialLines == dials && end.rssKiB - baseline.rssKiB < 1024 &&
                    end.openFiles == baseline.openFiles && end.threads == baseline.threads;
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
