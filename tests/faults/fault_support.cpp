#include "fault_support.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace tarvik::e2e {

NoiseFigures noiseThenCall(Sandbox& box, Simulator& sim, Tarvik& app, int seconds) {
    NoiseFigures figures;
    const double cpuBefore = processFigures(app.pid()).cpuSeconds;
    QElapsedTimer clock;
    clock.start();
    sim.command("noise " + QByteArray::number(seconds) + "s");
    // The first part fills the buffers and the caches; growth after that would be a leak.
    QThread::sleep(std::max(2, seconds / 3));
    figures.rssAfterWarmUpKiB = figures.rssMaxKiB = processFigures(app.pid()).rssKiB;
    const auto end = sim.waitFor(
        [&](const TranscriptEntry& e) {
            figures.rssMaxKiB = std::max(figures.rssMaxKiB, processFigures(app.pid()).rssKiB);
            return e.kind == "ev" && e.text.startsWith("noise end: ");
        },
        std::chrono::seconds(seconds + 10));
    figures.cpuPercent =
        (processFigures(app.pid()).cpuSeconds - cpuBefore) * 100000.0 / clock.elapsed();
    figures.bytesSent = end.text.mid(11).split(' ').value(0).toLongLong();
    // The search for a ring gives up a while after the last line.
    QThread::sleep(3);
    figures.rssAfterKiB = processFigures(app.pid()).rssKiB;
    figures.survived = app.running();

    const qsizetype logged = box.logLines().size();
    const int answers = sim.count("rx", "AT+SR");
    sim.command("call 55512343");
    figures.answeredAfter = !sim.waitFor("rx", "AT+SR", 10s, answers + 1).kind.isEmpty();
    if (eventually([&] { return box.logLines().size() > logged; }))
        figures.loggedAfter = box.logLines().value(logged);
    return figures;
}

} // namespace tarvik::e2e
