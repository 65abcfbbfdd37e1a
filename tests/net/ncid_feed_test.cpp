#include "net_test_support.h"

#include "net/ncid_feed.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace tarvik {
namespace {

// What a test checks of a line, in a few words: the kind, '+' when forwarded,
// and each value there is.
QByteArray describe(const NcidFeedLine& l) {
    static const char* const kinds[] = {"Banner",  "Api",    "StartupEnd", "Logged",
                                        "Ring",    "Caller", "HungUp",     "Blocked",
                                        "Waiting", "Dialed", "Message",    "Other"};
    QByteArray out = (l.forwarded ? "+" : "") + QByteArray(kinds[static_cast<int>(l.kind)]);
    QByteArray sets;
    for (const int set : l.featureSets)
        sets += QByteArray::number(set);
    const NcidRecordFields& f = l.fields;
    const std::pair<const char*, QByteArray> parts[] = {
        {"text", l.text},
        {"api", l.api},
        {"sets", sets},
        {"date", f.date},
        {"time", f.time},
        {"line", f.line},
        {"nmbr", f.number},
        {"name", f.name},
        {"mesg", f.mesg},
        {"ring", l.kind == NcidFeedLine::Kind::Ring ? QByteArray::number(l.ring) : ""}};
    for (const auto& [key, value] : parts)
        if (!value.isEmpty()) out += ' ' + QByteArray(key) + '=' + value;
    return out;
}

TEST(NcidFeedLines, EveryLineGivesADefinedReading) {
    const QByteArray call =
        "*DATE*01022026*TIME*0304*LINE*HOME*NMBR*5551234*MESG*NONE*NAME*JO DOE*";
    const QByteArray calls = "date=01022026 time=0304 line=HOME nmbr=5551234 name=JO DOE mesg=NONE";
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"200 Server: ncidd (NCID) 1.6", "Banner text=Server: ncidd (NCID) 1.6"},
        {"210 API: 1.5 Feature Set 1 2 3 4 5", "Api api=1.5 sets=12345"},
        {"210 API 1.0 Feature Set 1 2 4 x 5", "Api api=1.0 sets=124"},
        {"300 End of connection startup", "StartupEnd"},
        {"251 Call log not sent", "Other"},
        {"2000 x", "Other"},
        {"CIDLOG: " + call, "Logged"},
        {"LOG: # a comment", "Logged"},
        {"CIDINFO: *LINE*POTS*RING*4*TIME*16:20:05*", "Ring time=16:20:05 line=POTS ring=4"},
        {"CIDINFO:*RING*-1*", "Ring ring=-1"},
        {"CIDINFO: *LINE*1*RING*x*", "Other"},
        {"CIDINFO: no fields", "Other"},
        {"CID: " + call, "Caller " + calls},
        {"HUP: " + call, "HungUp " + calls},
        {"BLK: " + call, "Blocked " + calls},
        {"WID: " + call, "Waiting " + calls},
        {"OUT: " + call, "Dialed " + calls},
        // Fields in another order, fields of later versions, no LINE.
        {"CID: *NAME*JO*NTYPE*CELL*NMBR*555*CTRY*US*CARI*Acme*DATE*0102*",
         "Caller date=0102 nmbr=555 name=JO"},
        {"MSG: Tea is ready ***DATE*01022026*TIME*0304*NAME*NO NAME*NMBR*NO-NUMBER*LINE*-*MTYPE*-*",
         "Message text=Tea is ready date=01022026 time=0304 line=- nmbr=NO-NUMBER name=NO NAME"},
        {"MSG: no fields", "Message text=no fields"},
        {"+CID: *NMBR*1*", "+Caller nmbr=1"},
        {"+CIDINFO: *RING*2*", "+Ring ring=2"},
        {"++CID: *NMBR*1*", "+Other"},
        {"CID: *NMBR*12\x1b[2J*NAME*A\x07"
         "B\xc3\xa9\x7f*",
         "Caller nmbr=12?[2J name=A?B???"},
        {"CID: *NMBR*12*NAME", "Caller nmbr=12"},
        {"CID: *NMBR*12*NAME*JO", "Caller nmbr=12 name=JO"},
        {"CID: *NMBR", "Caller"},
        {"CID: ****", "Caller"},
        {"CID:", "Caller"},
        {"CID:x no stars", "Caller"},
        {"cid: *NMBR*1*", "Other"},
        {"XYZ: *NMBR*1*", "Other"},
        {"OPT: hangup-1", "Other"},
        {"ACK: REQ: YO", "Other"},
        {"", "Other"},
        {"CID: *NMBR*" + QByteArray(10'000, '5') + '*', "Other"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(describe(readNcidFeedLine(line)), expected) << line.toStdString();
}

TEST(NcidServerAddress, ReadsHostsPortsAndIpv6) {
    const std::pair<const char*, NcidServerAddress> good[] = {
        {"nas", {"nas", 3333}},
        {" nas.home:3334 ", {"nas.home", 3334}},
        {"192.168.1.2:65535", {"192.168.1.2", 65535}},
        {"[::1]:3335", {"::1", 3335}},
        {"[fe80::1%eth0]", {"fe80::1%eth0", 3333}},
        {"fe80::2", {"fe80::2", 3333}},
    };
    for (const auto& [text, expected] : good)
        EXPECT_EQ(parseNcidServerAddress(QString::fromLatin1(text)), expected) << text;
    for (const char* bad : {"", "nas:", "nas:0", "nas:65536", "nas:+1", ":3333", "a b", "[::1",
                            "[::1]x", "[nas]:1", "1:2:x", "nas:1:2"})
        EXPECT_EQ(parseNcidServerAddress(QString::fromLatin1(bad)), std::nullopt) << bad;
}

// An alarm the test fires by hand.
struct HandAlarm {
    int ms = -1;
    std::function<void()> fire;
    void ring() { std::exchange(fire, {})(); }

    std::unique_ptr<NcidAlarm> make() {
        struct Alarm final : NcidAlarm {
            explicit Alarm(HandAlarm& hand)
                : hand(hand) {}
            void set(int ms, std::function<void()> fire) override {
                hand.ms = ms;
                hand.fire = std::move(fire);
            }
            void cancel() override { hand = {}; }
            HandAlarm& hand;
        };
        return std::make_unique<Alarm>(*this);
    }
};

class NcidFeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    }
    std::unique_ptr<NcidFeed> feed() {
        NcidFeed::Hooks hooks{[this](const NcidFeedLine& l) { records.append(describe(l)); },
                              [this](const NcidFeedStatus& s) { statuses.push_back(s); }};
        return std::make_unique<NcidFeed>(NcidServerAddress{"127.0.0.1", port}, "9.9",
                                          std::move(hooks), alarm.make());
    }
    bool told(NcidFeedStatus::State state, int count = 1) {
        return std::count_if(statuses.begin(), statuses.end(),
                             [&](const NcidFeedStatus& s) { return s.state == state; }) >= count;
    }

    QTcpServer server;
    quint16 port = 0;
    HandAlarm alarm;
    QList<QByteArray> records;
    std::vector<NcidFeedStatus> statuses;
};

TEST_F(NcidFeedTest, RetriesComeAfterOneSecondThenTwiceAsLongUpToAMinute) {
    server.close();
    auto f = feed();
    f->start();
    QList<int> delays;
    for (int attempt = 1; attempt <= 8; ++attempt) {
        ASSERT_TRUE(spinUntil([&] { return told(NcidFeedStatus::State::Disconnected, attempt); }));
        delays.append(statuses.back().retryInS);
        EXPECT_EQ(alarm.ms, statuses.back().retryInS * 1000);
        alarm.ring();
    }
    EXPECT_EQ(delays, QList<int>({1, 2, 4, 8, 16, 32, 60, 60}));
}

TEST_F(NcidFeedTest, HandshakeRecordsProbeAndReconnect) {
    server.close();
    auto f = feed();
    f->start();
    ASSERT_TRUE(spinUntil([&] { return told(NcidFeedStatus::State::Disconnected); }));
    alarm.ring();
    ASSERT_TRUE(spinUntil([&] { return told(NcidFeedStatus::State::Disconnected, 2); }));
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    alarm.ring();
    ASSERT_TRUE(spinUntil([&] { return server.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    QByteArray heard;
    const auto hear = [&](const QByteArray& expected) {
        return spinUntil([&] { return (heard += peer->readAll()) == expected; });
    };
    peer->write("200 Server: test 1.0\r\n210 API: 1.5 Feature Set 1 2 3 4 5\r\n");
    ASSERT_TRUE(hear("HELLO: IDENT: client tarvik 9.9\nHELLO: CMD: no_log\n")) << heard.data();
    peer->write("251 Call log not sent\r\n+CID: *NMBR*1*\r\n300 End of connection startup\r\n" +
                QByteArray(10'000, 'x') + "\r\nCID: *NMBR*5551234*NAME*JO*\r\n");
    ASSERT_TRUE(spinUntil([&] { return !records.isEmpty(); }));
    EXPECT_EQ(records, QList<QByteArray>({"Caller nmbr=5551234 name=JO"}));
    ASSERT_TRUE(told(NcidFeedStatus::State::Connected));
    EXPECT_EQ(alarm.ms, NcidFeed::kSilenceMs);

    heard.clear();
    alarm.ring();
    ASSERT_TRUE(hear("REQ: YO\n"));
    EXPECT_EQ(alarm.ms, NcidFeed::kAnswerMs);
    peer->write("ACK: REQ: YO\r\n");
    ASSERT_TRUE(spinUntil([&] { return alarm.ms == NcidFeed::kSilenceMs; }));

    peer->disconnectFromHost();
    ASSERT_TRUE(spinUntil([&] { return told(NcidFeedStatus::State::Disconnected, 3); }));
    EXPECT_EQ(statuses.back().retryInS, 1) << "a connection that started up begins the wait anew";
    alarm.ring();
    EXPECT_TRUE(spinUntil([&] { return server.hasPendingConnections(); }));
}

TEST_F(NcidFeedTest, ASilentServerIsAskedAsItsFeatureSetsAllow) {
    struct Case {
        QByteArray api, probe;
        int deadline;
        bool leftWithoutAnswer;
    };
    const Case cases[] = {
        {"210 API: 1.5 Feature Set 1", "\n", NcidFeed::kSilenceMs, false},
        {"210 API 1.0 Feature Set 1 2 3 4", "REQ: YO\n", NcidFeed::kAnswerMs, true}};
    for (const Case& c : cases) {
        statuses.clear();
        auto f = feed();
        f->start();
        ASSERT_TRUE(spinUntil([&] { return server.hasPendingConnections(); }));
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        peer->write(c.api + "\r\n300 End\r\n");
        ASSERT_TRUE(spinUntil([&] { return told(NcidFeedStatus::State::Connected); }));
        ASSERT_TRUE(spinUntil([&] { return peer->readAll().endsWith("no_log\n"); }));
        alarm.ring();
        ASSERT_TRUE(spinUntil([&] { return peer->bytesAvailable() > 0; }));
        EXPECT_EQ(peer->readAll(), c.probe) << c.api.data();
        EXPECT_EQ(alarm.ms, c.deadline);
        alarm.ring();
        EXPECT_EQ(told(NcidFeedStatus::State::Disconnected), c.leftWithoutAnswer) << c.api.data();
    }
}

} // namespace
} // namespace tarvik
