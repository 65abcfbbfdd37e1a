// A client whose machine went away without a word (switched off, out of the
// wireless network) loses its place. The test runs in a network namespace of its
// own, where the client's address is turned into a black hole once it is
// connected: nothing it sends arrives, nothing answers for it.
#include "net_test_support.h"

#include "net/ncid_server.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvik {
namespace {

int ip(const QString& arguments) {
    const QString program =
        QStandardPaths::findExecutable("ip", {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    return QProcess::execute(program, arguments.split(' '));
}

TEST(NcidVanishedClient, LosesItsPlaceWithinTheKeepAliveTime) {
    if (qEnvironmentVariable("TARVIK_NETNS") != "1")
        GTEST_SKIP() << "no network namespace could be made here";
    ASSERT_EQ(ip("link set lo up"), 0);

    QTemporaryDir dir;
    NcidServer::Setup setup;
    setup.settings.Port = 0;
    setup.logSource = {dir.filePath("none.log"), 7};
    // Probes after 1 s of silence, 1 s apart, two missed: gone after about 3 s.
    setup.keepAlive = {1, 1, 2, 3000};
    NcidServer server(setup);
    QString error;
    ASSERT_TRUE(server.listen(error)) << error.toStdString();

    Client gone(server.port(), "127.0.0.2");
    Client stays(server.port(), "127.0.0.3");
    const QByteArray startupEnd = "300 End of connection startup";
    ASSERT_TRUE(spinUntil([&] { return gone.has(startupEnd) && stays.has(startupEnd); }, 5000));

    // Local routes are looked up first; a rule before them sends the client's
    // address into a black hole.
    for (const char* step :
         {"rule del pref 0 lookup local", "rule add pref 100 lookup local",
          "route add blackhole 127.0.0.2 table 200", "rule add pref 50 to 127.0.0.2 lookup 200"})
        ASSERT_EQ(ip(QString::fromLatin1(step)), 0) << step;

    QElapsedTimer vanished;
    vanished.start();
    ASSERT_TRUE(spinUntil([&] { return server.clientCount() == 1; }, 15000));
    EXPECT_GE(vanished.elapsed(), 1000);
    EXPECT_LE(vanished.elapsed(), 8000);

    server.callerIdentified("4711", {}, QDateTime::currentDateTime());
    EXPECT_TRUE(spinUntil([&] { return stays.lines().last().contains("*NMBR*4711*"); }, 3000));
}

} // namespace
} // namespace tarvik
