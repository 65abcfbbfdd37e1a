// Callers screened by the service against the modem simulator (a modem that
// reports with the rings): the time from the caller-ID block leaving the modem
// to the number on show (the journal's notice, written as the display changes),
// and to ATH1 for a number the phone book marks BAD, less the 500 ms the caller
// takes to be complete. Prints figures; it is not a test.
//   bench_screening [calls of each kind, default 5]
#include "e2e_support.h"

#include "store/phonebook.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvik;
using namespace tarvik::e2e;

namespace {

constexpr long long kCallerCompleteMs = 500;

long long monotonicMs() {
    return std::chrono::duration_cast<milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void print(const char* what, std::vector<double> ms, const char* goal) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s, %zu calls: median %.1f ms, max %.1f ms (goal: %s)\n", what, ms.size(),
                ms[ms.size() / 2], ms.back(), goal);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = std::max(1, app.arguments().value(1, "5").toInt());

    Sandbox box;
    box.setParam("CidMode", "1");
    box.setParam("HangUpBad", "1");
    QFile book(box.programDir() + "phones.dat");
    if (!book.open(QIODevice::WriteOnly) ||
        book.write(encodePhoneRecord({"5551234567", "SPAMMER", "", psBad})) != kPhoneRecordSize)
        return 1;
    book.close();
    // The block in one piece: its moment in the transcript is its last line's.
    Simulator sim(box, {"--cid-kind", "spaced", "--rings", "1", "--split-pause", "0ms"});
    Service service(box);
    if (sim.waitFor("rx", "AT+VCID=1", 15s).kind != "rx") {
        std::printf("the service did not start\n");
        return 1;
    }

    std::vector<double> shown, offHook;
    const auto blockAt = [&sim](int nth) {
        return sim.waitFor(
            [](const TranscriptEntry& e) { return e.kind == "tx" && e.text.contains("NMBR"); }, 10s,
            nth);
    };
    for (int call = 1; call <= calls * 2; ++call) {
        const bool bad = call % 2 == 1;
        sim.command(bad ? "number 5551234567" : "number 5559999999");
        const int notices = service.output().count("<6>Incoming call: 5559999999");
        const int offHooks = sim.count("rx", "ATH1");
        sim.command("call");
        if (bad) {
            const TranscriptEntry ath1 = sim.waitFor("rx", "ATH1", 10s, offHooks + 1);
            offHook.push_back(static_cast<double>(ath1.ms - blockAt(call).ms - kCallerCompleteMs));
        } else {
            // The journal polled every millisecond; the block's moment from the transcript.
            while (service.output().count("<6>Incoming call: 5559999999") == notices)
                QThread::usleep(1000);
            const long long seenAt = monotonicMs();
            shown.push_back(static_cast<double>(seenAt - blockAt(call).monotonicMs));
        }
        // The next call is a new one only once this one has ended.
        sim.waitFor("rx", "AT+VCID=1", 20s, call + 1);
    }
    print("caller-ID block to the number on show", shown, "at most 30 ms");
    print("caller complete to ATH1 for a BAD number", offHook, "at most 100 ms");
    return 0;
}
