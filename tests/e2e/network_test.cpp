// The desktop program taking its calls from an NCID server: from the TARVIK
// service across the service's restart, and from a test server that is not
// there at first, then sends every kind of line, then keeps silent.
#include "desktop_support.h"
#include "ncid_test_client.h"
#include "ncid_test_server.h"

#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

// The log's lines about the server on 127.0.0.1:port, which the program is set to call.
struct ServerLines {
    QByteArray connected, lost, refused;
};
ServerLines pointAt(Sandbox& box, quint16 port) {
    const QByteArray server = "127.0.0.1:" + QByteArray::number(port);
    box.setParam("CidMode", "2");
    box.setParam("NcidServer", QString::fromLatin1(server));
    return {"Connected to " + server,
            "Connection to " + server + " lost: The remote host closed the connection",
            "No connection to " + server + ": Connection refused"};
}

// Whether the log has this line `times` times within `timeout`; the log when not.
::testing::AssertionResult logs(const Sandbox& box, const QByteArray& line, int times = 1,
                                milliseconds timeout = 10s) {
    if (eventually([&] { return box.logLines().count(line) == times; }, timeout))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << box.log().toStdString();
}

// The service with its NCID server on `port`, against a simulated modem that rings once.
struct ServiceRun {
    ServiceRun(quint16 port, const QString& cidMode, const QStringList& simArgs,
               const QByteArray& greeting) {
        box.setParam("CidMode", cidMode);
        box.setValue("NCID", "Enabled", "1");
        box.setValue("NCID", "Port", QString::number(port));
        sim = std::make_unique<Simulator>(box, simArgs + QStringList{"--rings", "1"});
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
    auto service =
        std::make_unique<ServiceRun>(port, "0", QStringList{"--number", "12345678"}, "ATM2+S64=1");
    ASSERT_TRUE(service->started) << describeRun(*service->sim, service->box, *service->app);

    // On a private X server, without a tray, the window shows from the start.
    XServer x;
    Sandbox box;
    const ServerLines said = pointAt(box, port);
    Tarvik desktop(box, x.started() ? x.clientEnvironment() : QProcessEnvironment());
    const QString window = x.started() ? x.findWindow(kMainWindowTitle, 15000) : QString();
    EXPECT_TRUE(!x.started() || !window.isEmpty()) << "the main window did not show";
    ASSERT_TRUE(logs(box, said.connected));

    service->sim->command("call");
    ASSERT_TRUE(logs(box, "NMBR = 1234567"));
    QString shown;
    EXPECT_TRUE(!x.started() || eventually([&] {
        return (shown = readLeds(grab(x, window))) == "o 1234567";
    })) << "the marker and the last seven digits, shown: "
        << shown.toStdString();

    // Back as a modem that reports the caller, on the same port.
    ASSERT_EQ(service->app->terminate(), 0);
    service.reset();
    ASSERT_TRUE(logs(box, said.lost));
    service = std::make_unique<ServiceRun>(
        port, "1", QStringList{"--cid-kind", "spaced", "--number", "5559876543"}, "AT+VCID=1");
    ASSERT_TRUE(service->started) << describeRun(*service->sim, service->box, *service->app);
    // Tries 1, 2, 4 and 8 s apart: the service is back within the fourth.
    ASSERT_TRUE(logs(box, said.connected, 2, 20s));
    service->sim->command("call");
    ASSERT_TRUE(logs(box, "NAME = JOHN DOE"));

    const QList<QByteArray> expected = {said.connected, "NMBR = 1234567",    said.lost,
                                        said.connected, "NMBR = 5559876543", "NAME = JOHN DOE"};
    EXPECT_EQ(box.logLines().mid(1), expected) << "the loss is logged once, not at each try";
    EXPECT_EQ(desktop.terminate(), 0);
}

TEST(NetworkClient, EachKindOfServerLineIsLoggedAsItCameAndASilentServerIsGivenUp) {
    const quint16 port = freeLoopbackPort();
    Sandbox box;
    const ServerLines said = pointAt(box, port);
    Tarvik desktop(box);
    ASSERT_TRUE(logs(box, said.refused));

    NcidTestServer ncid(port);
    ASSERT_TRUE(ncid.listening());
    ASSERT_TRUE(ncid.waitForClients(1, 20s)) << box.log().toStdString();
    EXPECT_EQ(
        ncid.connections().value(0).received,
        (QList<QByteArray>{"HELLO: IDENT: client tarvik " TARVIK_VERSION, "HELLO: CMD: no_log"}));

    // Each line as sent and what the log makes of it; the last, once logged,
    // shows that those before it have been read.
    const auto line = [](const char* type, const char* number, const char* name) {
        return type + QByteArray(": *DATE*12092026*TIME*1047*LINE*-*NMBR*") + number +
               "*MESG*NONE*NAME*" + name + '*';
    };
    const QList<std::pair<QByteArray, QList<QByteArray>>> told = {
        {"CID: *NAME*JOHN DOE*NMBR*5551234567*TIME*1045*COLOR*red*LINE*HOME*DATE*12092026*"
         "MESG*NONE*",
         {"Caller on line HOME", "NMBR = 5551234567", "NAME = JOHN DOE"}},
        {line("CID", "5552220000", "NO NAME"), {"NMBR = 5552220000"}},
        {line("HUP", "5553330000", "SPAM CO"), {"Call hung up by the server: 5553330000 SPAM CO"}},
        {line("BLK", "5554440000", "-"), {"Call blocked: 5554440000"}},
        {line("WID", "5555550000", "ANN"), {"Call waiting: 5555550000 ANN"}},
        {line("XYZ", "5556660000", "-"), {}},
        {line("+CID", "5557770000", "-"), {}},
        {"MSG: The door is open", {"Message: The door is open"}},
    };
    QList<QByteArray> expected = {box.logLines().value(0), said.refused, said.connected};
    for (const auto& [sent, logged] : told) {
        ncid.send(sent);
        expected += logged;
    }
    EXPECT_TRUE(eventually([&] { return box.logLines().size() >= expected.size(); }));
    EXPECT_EQ(box.logLines(), expected);

    // Closed, then silent from the next connection on: given up after 30 s.
    ncid.setSilent(true);
    ncid.closeClients();
    ASSERT_TRUE(logs(box, said.lost));
    EXPECT_TRUE(eventually([&] { return !ncid.connections().value(1).open; }, 45s))
        << "the silent connection was not ended";
    // The next try, 2 s on, comes after anything the end would have logged.
    EXPECT_TRUE(eventually([&] { return ncid.connections().size() >= 3; }, 10s));
    EXPECT_EQ(box.logLines(), expected + QList<QByteArray>{said.lost}) << "the loss is logged once";
    EXPECT_EQ(ncid.connections().value(1).received, QList<QByteArray>()) << "no HELLO unasked";
    EXPECT_EQ(desktop.terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
