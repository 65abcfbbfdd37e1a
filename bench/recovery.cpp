// A modem that vanishes and comes back, through the real program: the time from
// the device's loss to the log line that tells it, the processor used while it
// is away, and the time from its return to the init string sent again. Prints
// the figures; it is not a test.
#include "e2e_support.h"
#include "modem/modem_recovery.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

using namespace tarvik::e2e;
using tarvik::kModemBackLog;
using tarvik::kModemLostLog;

namespace {

struct Spread {
    QList<long long> values;
    void print(const char* what) {
        std::sort(values.begin(), values.end());
        if (values.isEmpty()) {
            std::printf("%s: none\n", what);
            return;
        }
        std::printf("%s (%lld runs): median %lld ms, min %lld ms, max %lld ms\n", what,
                    static_cast<long long>(values.size()), values[values.size() / 2],
                    values.first(), values.last());
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int cycles = std::max(1, app.arguments().value(1, "10").toInt());
    const int awaySeconds = std::max(1, app.arguments().value(2, "5").toInt());

    Sandbox box;
    Simulator sim(box, {});
    Tarvik program(box);
    if (sim.waitFor("rx", "ATM2+S64=1", 15s).kind.isEmpty() ||
        !eventually([&] { return !box.logLines().isEmpty(); }, 10s)) {
        std::printf("the program did not start\n");
        return 1;
    }
    Spread toTold, toGreeting;
    QList<double> cpuWhileAway;
    for (int n = 1; n <= cycles; ++n) {
        QElapsedTimer sinceLoss;
        sinceLoss.start();
        sim.command("unplug");
        if (!eventually([&] { return box.logLines().count(kModemLostLog) >= n; }, 10s)) break;
        toTold.values.append(sinceLoss.elapsed());
        cpuWhileAway.append(cpuPercentOver(program.pid(), std::chrono::seconds(awaySeconds)));

        sim.command("plug");
        const auto plugged = sim.waitFor("ev", "plug ", 10s, n);
        const auto greeted = sim.waitFor("rx", "ATM2+S64=1", 10s, n + 1);
        if (plugged.kind.isEmpty() || greeted.kind.isEmpty()) break;
        toGreeting.values.append(greeted.ms - plugged.ms);
        eventually([&] { return box.logLines().count(kModemBackLog) >= n; }, 10s);
    }
    toTold.print("device lost to the loss logged");
    toGreeting.print("device back to the init string sent");
    if (!cpuWhileAway.isEmpty()) {
        std::sort(cpuWhileAway.begin(), cpuWhileAway.end());
        std::printf("processor while the device is away (%d s each): median %.2f %%, max %.2f %% "
                    "of one core\n",
                    awaySeconds, cpuWhileAway[cpuWhileAway.size() / 2], cpuWhileAway.last());
    }
    std::printf("log lines: %lld\n", static_cast<long long>(box.logLines().size()));
    return 0;
}
