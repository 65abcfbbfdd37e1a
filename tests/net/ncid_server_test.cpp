#include "net_test_support.h"

#include "net/ncid_lines.h"
#include "net/ncid_server.h"
#include "store/keyvalue.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvik {
namespace {

class NcidServerTest : public ::testing::Test {
protected:
    void start(NcidSettings settings = {}, int ringingEndMs = NcidServer::kRingingEndMs) {
        settings.Port = 0;
        NcidServer::Setup setup;
        setup.settings = settings;
        setup.version = "9.9";
        setup.logSource = {dir.filePath("tarvik.log"), 7};
        setup.ringingEndMs = ringingEndMs;
        server = std::make_unique<NcidServer>(setup);
        QString error;
        ASSERT_TRUE(server->listen(error)) << error.toStdString();
    }
    void writeLog(const QByteArray& text) {
        QFile log(dir.filePath("tarvik.log"));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        log.write(text);
    }
    std::unique_ptr<Client> connect(const char* from = "127.0.0.1") {
        return std::make_unique<Client>(server->port(), from);
    }
    static bool startedUp(Client& c) { return c.has("300 End of connection startup"); }

    QTemporaryDir dir;
    std::unique_ptr<NcidServer> server;
};

TEST_F(NcidServerTest, RecordsOfTheStartupAreHeldUntilItEndsAndComeInOrder) {
    writeLog("07/01 10:01:02 CallerID: 12345678\r\n");
    start();
    auto client = connect();
    ASSERT_TRUE(spinUntil([&] { return client->has("210 API: 1.5 Feature Set 1"); }));
    const QDateTime now = QDateTime::currentDateTime();
    server->ringCounted(1, now);
    server->callerIdentified("1234567", {}, now);
    server->answered(now);
    ASSERT_TRUE(spinUntil([&] { return client->lines().size() >= 8; }));
    const QList<QByteArray> lines = client->lines();
    EXPECT_EQ(lines[0], "200 Server: TARVIK 9.9");
    EXPECT_TRUE(lines[2].startsWith("CIDLOG: *DATE*0107")) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "250 End of call log");
    EXPECT_EQ(lines[4], "300 End of connection startup");
    EXPECT_TRUE(lines[5].startsWith("CIDINFO: *LINE*-*RING*1*TIME*"));
    EXPECT_TRUE(lines[6].endsWith("*LINE*-*NMBR*1234567*MESG*NONE*NAME*NO NAME*"));
    EXPECT_TRUE(lines[7].startsWith("CIDINFO: *LINE*-*RING*0*TIME*"));
}

TEST_F(NcidServerTest, AReportedCallersNameLineJoinsItsNumberInTheLog) {
    writeLog("07/01 10:01:02 NMBR = 5551234567\r\n07/01 10:01:02 NAME = JOHN DOE\r\n"
             "07/01 10:02:00 NMBR = P\r\n07/01 10:03:00 Incoming call, no caller ID.\r\n"
             "07/01 10:04:00 NAME = lost\r\n07/01 10:05:00 NMBR = 42\r\n"
             "07/01 10:06:00 Hung up: 5559999 BAD GUY\r\n");
    start();
    auto client = connect();
    ASSERT_TRUE(spinUntil([&] { return startedUp(*client); }));
    server->callerHungUp("5559999", "BAD GUY", QDateTime::currentDateTime());
    ASSERT_TRUE(spinUntil([&] { return client->lines().size() >= 9; }));
    const QList<QByteArray> lines = client->lines();
    EXPECT_TRUE(lines[2].endsWith("*NMBR*5551234567*MESG*NONE*NAME*JOHN DOE*"));
    EXPECT_TRUE(lines[3].endsWith("*NMBR*PRIVATE*MESG*NONE*NAME*NO NAME*"));
    EXPECT_TRUE(lines[4].endsWith("*NMBR*42*MESG*NONE*NAME*NO NAME*")) << "a name alone is none";
    const QByteArray hungUp = "*NMBR*5559999*MESG*NONE*NAME*BAD GUY*";
    EXPECT_TRUE(lines[5].startsWith("HUPLOG: *DATE*0107") && lines[5].endsWith(hungUp));
    EXPECT_TRUE(lines[8].startsWith("HUP: *DATE*") && lines[8].endsWith(hungUp))
        << lines[8].toStdString();
}

TEST_F(NcidServerTest, RingingThatStopsUnansweredEndsWithMinusOneOncePerCall) {
    NcidSettings dualStack;
    dualStack.Address = QHostAddress::Any;
    start(dualStack, 300);
    auto client = connect();
    ASSERT_TRUE(spinUntil([&] { return startedUp(*client); }));
    const QDateTime now = QDateTime::currentDateTime();
    for (int call = 0; call < 2; ++call) {
        server->ringIgnored(now);
        server->ringIgnored(now);
        ASSERT_TRUE(spinUntil([&] { return client->lines().size() >= 7 + 3 * call; }));
    }
    spinUntil([] { return false; }, 500);
    QList<QByteArray> rings;
    for (const QByteArray& line : client->lines().mid(4))
        rings.append(line.split('*').value(4));
    EXPECT_EQ(rings, QList<QByteArray>({"1", "2", "-1", "1", "2", "-1"}));
}

TEST(NcidLines, EveryFieldEndsAsClientsReadIt) {
    struct Case {
        QByteArray number, line;
    };
    // A value is taken only when it ends in a letter, digit, '_', '@', blank or '-'.
    const QList<Case> cases = {
        {"1234567", "*NMBR*1234567*"},
        {"123?56?", "*NMBR*123X56X*"}, // unknown digits
        {"w1*2", "*NMBR*w1?2*"},       // the separator
        {"*31#", "*NMBR*?31*"},        // a trailing '#' would leak the record
        {"(555) 123-4567.", "*NMBR*(555) 123-4567*"},
        {"+49 30 1234+", "*NMBR*+49 30 1234*"},
        {"caf\xe9 1", "*NMBR*caf? 1*"},
        {"", "*NMBR*NO-NUMBER*"},
        {"#)", "*NMBR*NO-NUMBER*"},
    };
    const CallRecord::Kind kind = CallRecord::Kind::Outgoing;
    const QDateTime at(QDate(2026, 1, 2), QTime(3, 4));
    for (const Case& c : cases) {
        const QByteArray line = ncid::callLine("OUT:", ncid::callNow(kind, c.number, at), "_x@-");
        EXPECT_TRUE(line.contains(c.line)) << line.toStdString();
        EXPECT_TRUE(line.startsWith("OUT: *DATE*01022026*TIME*0304*LINE*_x@-*NMBR*"));
    }
    EXPECT_EQ(ncid::messageLine("tea *is* ready", "-", at),
              "MSG: tea ?is? ready***DATE*01022026*TIME*0304*NAME*NO NAME*NMBR*NO-NUMBER*"
              "LINE*-*MTYPE*-*");
}

TEST_F(NcidServerTest, TheLogAnswerTellsNoLogAnEmptyLogAndARefusal) {
    NcidSettings noLog;
    noLog.SendLog = false;
    start(noLog);
    writeLog("07/01 10:01:02 CallerID: 12345678\r\n");
    auto refused = connect();
    ASSERT_TRUE(spinUntil([&] { return startedUp(*refused); }));
    EXPECT_TRUE(refused->has("251 Call log not sent"));

    start();
    QFile::remove(dir.filePath("tarvik.log"));
    auto none = connect();
    ASSERT_TRUE(spinUntil([&] { return startedUp(*none); }));
    EXPECT_TRUE(none->has("253 No Call log"));
    writeLog("07/01 10:00:00 \r\n07/01 10:00:00 Incoming call, ignored.\r\n");
    auto empty = connect();
    auto asksNone = connect();
    asksNone->socket.write("HELLO: IDENT: test 1.0\nHELLO: CMD: no_log\n");
    ASSERT_TRUE(spinUntil([&] { return startedUp(*empty) && startedUp(*asksNone); }));
    EXPECT_TRUE(empty->has("252 Call log empty"));
    EXPECT_TRUE(asksNone->has("251 Call log not sent"));
}

TEST_F(NcidServerTest, ClientsPastTheLimitsAreToldWhyAndClosed) {
    start();
    std::vector<std::unique_ptr<Client>> clients;
    for (std::size_t i = 0; i < NcidServer::kClientsPerAddressMax; ++i)
        clients.push_back(connect());
    auto sameAddress = connect();
    ASSERT_TRUE(spinUntil([&] { return sameAddress->closed(); }));
    EXPECT_EQ(sameAddress->lines(),
              QList<QByteArray>({ncid::kTooManyFromAddress + QByteArray(" (10)")}));

    std::vector<QByteArray> addresses;
    while (clients.size() < NcidServer::kClientsMax) {
        addresses.push_back("127.0.1." + QByteArray::number(clients.size()));
        clients.push_back(connect(addresses.back().constData()));
    }
    ASSERT_TRUE(spinUntil([&] { return server->clientCount() == NcidServer::kClientsMax; }));
    auto extra = connect("127.0.2.1");
    ASSERT_TRUE(spinUntil([&] { return extra->closed(); }));
    EXPECT_EQ(extra->lines(), QList<QByteArray>({"MSG: Too many clients connected (50)"}));

    clients.front()->socket.write("GOODBYE\n");
    ASSERT_TRUE(spinUntil([&] { return clients.front()->closed(); }));
    ASSERT_TRUE(spinUntil([&] { return server->clientCount() == NcidServer::kClientsMax - 1; }));
    auto next = connect();
    ASSERT_TRUE(spinUntil([&] { return startedUp(*next); }));
}

TEST_F(NcidServerTest, AMessageGoesToTheOtherClientsAndAProbeIsAnswered) {
    start();
    auto sender = connect();
    auto other = connect("127.0.0.2");
    ASSERT_TRUE(spinUntil([&] { return startedUp(*sender) && startedUp(*other); }));
    sender->socket.write("REQ: YO\nMSG: Dinner is ready ###DATE*01012020*TIME*1200*NAME*x*\n"
                         "MSG: too soon\nMSG:\n");
    ASSERT_TRUE(spinUntil([&] { return other->lines().size() > 4 && sender->lines().size() > 4; }));
    spinUntil([] { return false; }, 200);
    const QList<QByteArray> got = other->lines().mid(4);
    ASSERT_EQ(got.size(), 1) << "one message a second; an empty one is none";
    EXPECT_TRUE(got[0].startsWith("MSG: Dinner is ready***DATE*")) << got[0].toStdString();
    EXPECT_TRUE(got[0].endsWith("*NAME*NO NAME*NMBR*NO-NUMBER*LINE*-*MTYPE*-*"));
    EXPECT_EQ(sender->lines().mid(4), QList<QByteArray>({"ACK: REQ: YO"}));
}

TEST_F(NcidServerTest, BadInputEndsOnlyThatClient) {
    start();
    auto good = connect();
    auto nul = connect();
    auto control = connect();
    auto notUtf8 = connect();
    auto longLine = connect();
    auto flood = connect();
    ASSERT_TRUE(spinUntil([&] { return server->clientCount() == 6; }));
    good->socket.write("\n\r\nHELLO: IDENT: x\nwhat is this?\n" + QByteArray(1024, 'a') + "\n");
    nul->socket.write(QByteArray("abc\0def\n", 8));
    control->socket.write("abc\x1b[2J\n");
    notUtf8->socket.write("caf\xe9\n");
    longLine->socket.write(QByteArray(1100, 'a'));
    flood->socket.write(QByteArray(300 * 2, '\n').replace("\n\n", "x\n"));
    for (Client* bad : {nul.get(), control.get(), notUtf8.get(), longLine.get(), flood.get()})
        EXPECT_TRUE(spinUntil([&] { return bad->closed(); }));
    // The longest line whose LF comes apart from its CR.
    good->socket.write(QByteArray(1024, 'b') + '\r');
    spinUntil([] { return false; }, 100);
    good->socket.write("\n");
    server->callerIdentified("42", {}, QDateTime::currentDateTime());
    ASSERT_TRUE(spinUntil([&] {
        const QList<QByteArray> lines = good->lines();
        return !lines.isEmpty() && lines.last().contains("*NMBR*42*");
    }));
    EXPECT_EQ(server->clientCount(), 1u);
}

TEST_F(NcidServerTest, AClientThatReadsNothingIsDroppedOnceItsQueueIsFull) {
    start();
    auto reader = connect();
    QTcpSocket stuck;
    stuck.setReadBufferSize(1);
    stuck.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stuck.connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(spinUntil([&] { return startedUp(*reader) && server->clientCount() == 2; }));
    int sent = 0;
    while (server->clientCount() == 2 && sent < 200'000) {
        server->dialing(QByteArray::number(++sent).rightJustified(200, '5'), QDateTime());
        if (sent % 100 == 0) QCoreApplication::processEvents();
    }
    EXPECT_EQ(server->clientCount(), 1u);
    ASSERT_TRUE(spinUntil([&] { return reader->lines().size() >= sent + 4; }, 10000));
    EXPECT_TRUE(reader->lines().last().contains(QByteArray::number(sent)));
}

TEST(NcidSettings, BadValuesAreToldOnceAndTheirDefaultsKept) {
    QTemporaryDir dir;
    StoreKey key(dir.filePath("Tarvik.ini"));
    key.writeString(kNcidSection, "Enabled", "yes");
    key.writeString(kNcidSection, "Address", "localhost:80");
    key.writeString(kNcidSection, "Port", "70000");
    key.writeString(kNcidSection, "LineId", "my line");
    key.writeString(kNcidSection, "SendLog", "0");
    QList<QByteArray> told;
    const NcidSettings s = readNcidSettings(key, [&](const QByteArray& m) { told.append(m); });
    EXPECT_FALSE(s.Enabled);
    EXPECT_EQ(s.Address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(s.Port, 3333);
    EXPECT_EQ(s.LineId, "-");
    EXPECT_FALSE(s.SendLog);
    EXPECT_EQ(told, QList<QByteArray>({"NCID: bad Enabled \"yes\", 0 used",
                                       "NCID: bad Address \"localhost:80\", 127.0.0.1 used",
                                       "NCID: bad Port \"70000\", 3333 used",
                                       "NCID: bad LineId \"my line\", - used"}));

    key.writeString(kNcidSection, "Enabled", "1");
    key.writeString(kNcidSection, "Address", "0.0.0.0");
    key.writeString(kNcidSection, "Port", "4000");
    key.writeString(kNcidSection, "LineId", "home_1@x-");
    told.clear();
    const NcidSettings good = readNcidSettings(key, [&](const QByteArray& m) { told.append(m); });
    EXPECT_TRUE(good.Enabled);
    EXPECT_EQ(good.Address, QHostAddress(QHostAddress::AnyIPv4));
    EXPECT_EQ(good.Port, 4000);
    EXPECT_EQ(good.LineId, "home_1@x-");
    EXPECT_TRUE(told.isEmpty());

    // Clients cut a value that ends in punctuation; "::" is IPv4 and IPv6.
    key.writeString(kNcidSection, "LineId", "home.");
    key.writeString(kNcidSection, "Address", "::");
    told.clear();
    const NcidSettings more = readNcidSettings(key, [&](const QByteArray& m) { told.append(m); });
    EXPECT_EQ(told, QList<QByteArray>({"NCID: bad LineId \"home.\", - used"}));
    EXPECT_EQ(more.Address, QHostAddress(QHostAddress::Any));
}

} // namespace
} // namespace tarvik
