// The desktop program taking its calls from an NCID server on the network:
// from the TARVIK service across the service's restart, and from a test
// server that is not there at first, then sends every kind of line, then
// keeps silent.
#include "desktop_support.h"
#include "ncid_test_client.h"
#include "ncid_test_server.h"

#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

// The desktop program's settings for calls from 127.0.0.1:port; the server as its log names it.
QByteArray pointAt(Sandbox& box, quint16 port) {
    const QByteArray server = "127.0.0.1:" + QByteArray::number(port);
    box.setParam("CidMode", "2");
    box.setParam("NcidServer", QString::fromLatin1(server));
    return server;
}

// The log's line when the server at `server` ends the connection.
QByteArray closedByServer(const QByteArray& server) {
    return "Connection to " + server + " lost: The remote host closed the connection";
}

// Whether the log has this line `times` times, within `timeout`.
bool logs(const Sandbox& box, const QByteArray& line, int times = 1, milliseconds timeout = 10s) {
    return eventually([&] { return box.logLines().count(line) == times; }, timeout);
}

// The service with its NCID server on `port`, against a simulated modem.
struct ServiceRun {
    ServiceRun(quint16 port, const QString& cidMode, const QStringList& simArgs,
               const QByteArray& greeting) {
        box.setParam("CidMode", cidMode);
        box.setValue("NCID", "Enabled", "1");
        box.setValue("NCID", "Port", QString::number(port));
        sim = std::make_unique<Simulator>(box, simArgs);
        app = std::make_unique<Service>(box);
        started = sim->waitFor("rx", greeting, 15s).kind == "rx" &&
                  eventually([this] { return !box.logLines().isEmpty(); });
    }
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Service> app;
    bool started = false;
};

TEST(NetworkClient, TheServicesCallsAreLoggedAndShownAndTheServiceIsFoundAgainAfterARestart) {
    const quint16 port = freeLoopbackPort();
    auto service = std::make_unique<ServiceRun>(
        port, "0", QStringList{"--number", "12345678", "--rings", "1"}, "ATM2+S64=1");
    ASSERT_TRUE(service->started) << describeRun(*service->sim, service->box, *service->app);

    // On a private X server, without a tray, the window shows from the start.
    XServer x;
    Sandbox box;
    const QByteArray server = pointAt(box, port);
    Tarvik desktop(box, x.started() ? x.clientEnvironment() : QProcessEnvironment());
    const QString window = x.started() ? x.findWindow(kMainWindowTitle, 15000) : QString();
    EXPECT_TRUE(!x.started() || !window.isEmpty()) << "the main window did not show";
    ASSERT_TRUE(logs(box, "Connected to " + server)) << box.log().toStdString();

    service->sim->command("call");
    ASSERT_TRUE(logs(box, "NMBR = 1234567")) << box.log().toStdString();
    QString shown;
    EXPECT_TRUE(!x.started() || eventually([&] {
        return (shown = readLeds(grab(x, window))) == "o 1234567";
    })) << "the marker and the last seven digits, shown: "
        << shown.toStdString();

    // Back as a modem that reports the caller, on the same port.
    ASSERT_EQ(service->app->terminate(), 0);
    service.reset();
    const QByteArray lost = closedByServer(server);
    ASSERT_TRUE(logs(box, lost)) << box.log().toStdString();
    service = std::make_unique<ServiceRun>(
        port, "1", QStringList{"--cid-kind", "spaced", "--number", "5559876543", "--rings", "1"},
        "AT+VCID=1");
    ASSERT_TRUE(service->started) << describeRun(*service->sim, service->box, *service->app);
    // Tries 1, 2, 4 and 8 s apart: the service is back within the fourth.
    ASSERT_TRUE(logs(box, "Connected to " + server, 2, 20s)) << box.log().toStdString();
    service->sim->command("call");
    ASSERT_TRUE(logs(box, "NAME = JOHN DOE")) << box.log().toStdString();

    const QList<QByteArray> expected = {
        "Connected to " + server, "NMBR = 1234567",    lost,
        "Connected to " + server, "NMBR = 5559876543", "NAME = JOHN DOE"};
    EXPECT_EQ(box.logLines().mid(1), expected) << "the loss is logged once, not at each try";
    EXPECT_EQ(desktop.terminate(), 0);
}

TEST(NetworkClient, EachKindOfServerLineIsLoggedAsItCameAndASilentServerIsGivenUp) {
    const quint16 port = freeLoopbackPort();
    Sandbox box;
    const QByteArray server = pointAt(box, port);
    Tarvik desktop(box);
    const QByteArray refused = "No connection to " + server + ": Connection refused";
    ASSERT_TRUE(logs(box, refused)) << box.log().toStdString();

    NcidTestServer ncid(port);
    ASSERT_TRUE(ncid.listening());
    ASSERT_TRUE(ncid.waitForClients(1, 20s)) << box.log().toStdString();
    ASSERT_TRUE(logs(box, "Connected to " + server)) << box.log().toStdString();
    const QList<QByteArray> hello = {"HELLO: IDENT: client tarvik " TARVIK_VERSION,
                                     "HELLO: CMD: no_log"};
    EXPECT_EQ(ncid.connections().value(0).received, hello);

    struct Told {
        QByteArray line;
        QList<QByteArray> logged;
    };
    const QList<Told> told = {
        {"CID: *NAME*JOHN DOE*NMBR*5551234567*TIME*1045*COLOR*red*LINE*HOME*DATE*12092026*"
         "MESG*NONE*",
         {"Caller on line HOME", "NMBR = 5551234567", "NAME = JOHN DOE"}},
        {"CID: *DATE*12092026*TIME*1047*LINE*-*NMBR*5552220000*MESG*NONE*NAME*NO NAME*",
         {"NMBR = 5552220000"}},
        {"HUP: *DATE*12092026*TIME*1050*LINE*-*NMBR*5553330000*MESG*NONE*NAME*SPAM CO*",
         {"Call hung up by the server: 5553330000 SPAM CO"}},
        {"BLK: *DATE*12092026*TIME*1051*LINE*-*NMBR*5554440000*MESG*NONE*NAME*-*",
         {"Call blocked: 5554440000"}},
        {"WID: *DATE*12092026*TIME*1052*LINE*-*NMBR*5555550000*MESG*NONE*NAME*ANN*",
         {"Call waiting: 5555550000 ANN"}},
        {"XYZ: *DATE*12092026*TIME*1053*LINE*-*NMBR*5556660000*MESG*NONE*NAME*-*", {}},
        {"+CID: *DATE*12092026*TIME*1054*LINE*-*NMBR*5557770000*MESG*NONE*NAME*-*", {}},
        // Last: once it is logged, the lines before it have been read.
        {"MSG: The door is open", {"Message: The door is open"}},
    };
    // After the start line.
    QList<QByteArray> expected = {box.logLines().value(0), refused, "Connected to " + server};
    for (const Told& t : told) {
        ncid.send(t.line);
        expected += t.logged;
    }
    EXPECT_TRUE(eventually([&] { return box.logLines().size() >= expected.size(); }));
    EXPECT_EQ(box.logLines(), expected);

    // Closed, then silent from the next connection on: given up after 30 s.
    ncid.setSilent(true);
    ncid.closeClients();
    const QByteArray lost = closedByServer(server);
    ASSERT_TRUE(logs(box, lost)) << box.log().toStdString();
    EXPECT_TRUE(eventually(
        [&] {
            const QList<NcidTestConnection> all = ncid.connections();
            return all.size() >= 2 && !all[1].open;
        },
        45s))
        << "the silent connection was not ended";
    // The next try, 2 s on, comes after anything the end would have logged.
    EXPECT_TRUE(eventually([&] { return ncid.connections().size() >= 3; }, 10s));
    EXPECT_EQ(box.logLines(), expected + QList<QByteArray>{lost}) << "the loss is logged once";
    EXPECT_EQ(ncid.connections().value(1).received, QList<QByteArray>()) << "no HELLO unasked";
    EXPECT_EQ(desktop.terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
