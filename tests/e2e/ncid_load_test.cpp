// The program under load from its NCID server: 49 clients fetch a 2 MB call log
// over and over while calls come in; each call is still answered on its ring and
// its caller logged whole.
#include "e2e_support.h"
#include "ncid_load.h"
#include "ncid_test_client.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

// One below the server's limit: a client that reconnects before the server has
// seen its last connection close still gets in.
constexpr int kLoadClients = 49;
constexpr int kCalls = 6;
const QByteArray kPreloadedCaller = "CallerID: 55512343";

// The callers' lines (without their stamps) written from byte `offset` of the log on.
QList<QByteArray> callersSince(const Sandbox& box, qint64 offset) {
    QFile file(box.logPath());
    QList<QByteArray> found;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) return found;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.contains("CallerID:")) found.append(line.trimmed().mid(15));
    return found;
}

// What the run did, without the preloaded log.
std::string story(const Simulator& sim, const Sandbox& box, Tarvik& app) {
    QList<QByteArray> kept;
    for (const QByteArray& line : QByteArray::fromStdString(describeRun(sim, box, app)).split('\n'))
        if (!line.contains(kPreloadedCaller)) kept.append(line);
    return kept.join('\n').toStdString();
}

TEST(NcidUnderLoad, CallsAreAnsweredOnTheirRingAndLoggedWholeWhileClientsFetchTheLog) {
    Sandbox box;
    const quint16 port = freeLoopbackPort();
    box.setValue("NCID", "Enabled", "1");
    box.setValue("NCID", "Port", QString::number(port));
    box.setParam("AnswerOnRing", "3");
    ASSERT_TRUE(writeCallLog(box.logPath(), 2 << 20));
    const qint64 preloaded = QFile(box.logPath()).size();
    // Rings 300 ms apart: the program stops waiting for the next one after 400 ms.
    Simulator sim(box, {"--number", "0012345678", "--rings", "3", "--gap", "300ms"});
    Tarvik app(box);
    ASSERT_EQ(sim.waitFor("rx", "ATM2+S64=1", 15s).kind, "rx") << story(sim, box, app);

    NcidLoad load(port, kLoadClients);
    // Every client through once, or as many as the server let through meanwhile.
    eventually([&] { return load.fewestFetches() > 0; }, 10s);
    ASSERT_GT(load.fetches(), 0) << story(sim, box, app);

    for (int call = 1; call <= kCalls; ++call) {
        SCOPED_TRACE(call);
        const long long fetchesBefore = load.fetches();
        sim.command("call");
        ASSERT_TRUE(eventually([&] { return callersSince(box, preloaded).size() >= call; }, 15s))
            << story(sim, box, app);
        // The answer window ends on the modem's OK; a ring before it is purged.
        QThread::msleep(1000);
        const TranscriptEntry ring = sim.waitFor("tx", "RING", 1s, 3 * call);
        const TranscriptEntry answer = sim.waitFor("rx", "AT+SR", 1s, call);
        ASSERT_FALSE(ring.kind.isEmpty() || answer.kind.isEmpty()) << story(sim, box, app);
        const long long late = answer.ms - ring.ms;
        EXPECT_GE(late, 0) << "answered before the third ring\n" << story(sim, box, app);
        EXPECT_LE(late, 500) << "ms from the third ring to the answer\n" << story(sim, box, app);
        EXPECT_GT(load.fetches(), fetchesBefore)
            << "the load ran during the call; connections cut: " << load.cut();
    }
    EXPECT_EQ(callersSince(box, preloaded),
              QList<QByteArray>(kCalls, QByteArray("CallerID: 0012345678")))
        << story(sim, box, app);
    EXPECT_TRUE(app.running());
}

} // namespace
} // namespace tarvik::e2e
