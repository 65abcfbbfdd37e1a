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
    QByteArray sets;
    for (const int set : l.featureSets)
        sets += QByteArray::number(set);
    const NcidRecordFields& f = l.fields;
    const QByteArray ring = l.kind == NcidFeedLine::Kind::Ring ? QByteArray::number(l.ring) : "";
    const char* const keys[] = {"text", "api",  "sets", "date", "time",
                                "line", "nmbr", "name", "mesg", "ring"};
    const QByteArray values[] = {l.text, l.api,    sets,   f.date, f.time,
                                 f.line, f.number, f.name, f.mesg, ring};
    QByteArray out = (l.forwarded ? "+" : "") + QByteArray(kinds[static_cast<int>(l.kind)]);
    for (int i = 0; i < 10; ++i)
        if (!values[i].isEmpty()) out += ' ' + QByteArray(keys[i]) + '=' + values[i];
    return out;
}

TEST(NcidFeedLines, EveryLineGivesADefinedReading) {
    const QByteArray call = "*DATE*0102*TIME*0304*LINE*HOME*NMBR*555*MESG*NONE*NAME*JO DOE*";
    struct Row {
        QList<QByteArray> lines;
        QByteArray expected;
    };
    const Row table[] = {
        {{"200 Server: ncidd 1.6"}, "Banner text=Server: ncidd 1.6"},
        {{"210 API: 1.5 Feature Set 1 2 3 4 5"}, "Api api=1.5 sets=12345"},
        {{"210 API 1.0 Feature Set 1 2 4 x 5"}, "Api api=1.0 sets=124"},
        {{"300 End of connection startup"}, "StartupEnd"},
        {{"CIDLOG: " + call, "LOG: # a comment"}, "Logged"},
        {{"CIDINFO: *LINE*POTS*RING*4*TIME*16:20:05*"}, "Ring time=16:20:05 line=POTS ring=4"},
        {{"CIDINFO:*RING*-1*"}, "Ring ring=-1"},
        {{"CID: " + call}, "Caller date=0102 time=0304 line=HOME nmbr=555 name=JO DOE mesg=NONE"},
        {{"HUP: *NMBR*1*"}, "HungUp nmbr=1"},
        {{"BLK: *NMBR*1*"}, "Blocked nmbr=1"},
        {{"WID: *NMBR*1*"}, "Waiting nmbr=1"},
        {{"OUT: *NMBR*1*"}, "Dialed nmbr=1"},
        // Fields in another order, fields of later versions, no LINE.
        {{"CID: *NAME*JO*NTYPE*CELL*NMBR*555*CTRY*US*CARI*Acme*DATE*0102*"},
         "Caller date=0102 nmbr=555 name=JO"},
        {{"MSG: Tea ***DATE*0102*TIME*0304*NAME*NO NAME*NMBR*NO-NUMBER*LINE*-*MTYPE*-*"},
         "Message text=Tea date=0102 time=0304 line=- nmbr=NO-NUMBER name=NO NAME"},
        {{"MSG: no fields"}, "Message text=no fields"},
        {{"+CID: *NMBR*1*"}, "+Caller nmbr=1"},
        {{"++CID: *NMBR*1*"}, "+Other"},
        // Names in UTF-8 keep their letters; other bytes beyond ASCII do not.
        {{"CID: *NMBR*12\x1b[2J*NAME*A\x07\xc3\xa9\x7f*"}, "Caller nmbr=12?[2J name=A?\xc3\xa9?"},
        {{"CID: *NMBR*1*NAME*Jos\xe9*"}, "Caller nmbr=1 name=Jos?"},
        {{"CID: *NMBR*12*NAME", "CID: *NMBR*12"}, "Caller nmbr=12"}, // cut short
        {{"CID:", "CID:x no stars"}, "Caller"},
        {{"251 Call log not sent", "2000 x", "CIDINFO: *LINE*1*RING*x*", "cid: *NMBR*1*",
          "ACK: REQ: YO", "", "CID: *NMBR*" + QByteArray(10'000, '5') + '*'},
         "Other"},
    };
    for (const Row& row : table)
        for (const QByteArray& line : row.lines)
            EXPECT_EQ(describe(readNcidFeedLine(line)), row.expected) << line.toStdString();
}

// An alarm the test fires by hand.
struct HandAlarm final : NcidAlarm {
    void set(int wait, std::function<void()> then) override { ms = wait, fire = std::move(then); }
    void cancel() override { ms = -1, fire = {}; }
    void ring() { std::exchange(fire, {})(); }
    int ms = -1;
    std::function<void()> fire;
};

class NcidFeedTest : public ::testing::Test {
protected:
    std::unique_ptr<NcidFeed> feed() {
        NcidFeed::Hooks hooks{[this](const NcidFeedLine& l) { records.append(describe(l)); },
                              [this](const NcidFeedStatus& s) { statuses.push_back(s); }};
        auto hand = std::make_unique<HandAlarm>();
        alarm = hand.get();
        return std::make_unique<NcidFeed>(NcidServerAddress{"127.0.0.1", port}, "9.9",
                                          std::move(hooks), std::move(hand));
    }
    bool lost(int times) {
        return std::count_if(statuses.begin(), statuses.end(), [](const NcidFeedStatus& s) {
                   return s.state == NcidFeedStatus::State::Disconnected;
               }) >= times;
    }
    // Rings for the next attempt, takes its connection and answers the handshake with `api`.
    std::unique_ptr<QTcpSocket> connectWith(const QByteArray& api) {
        alarm->ring();
        EXPECT_TRUE(spinUntil([&] { return server.hasPendingConnections(); }));
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        if (!peer) return peer;
        peer->write(api + "\r\n");
        expectHeard(*peer, "HELLO: IDENT: client tarvik 9.9\nHELLO: CMD: no_log\n");
        return peer;
    }
    void expectHeard(QTcpSocket& peer, const QByteArray& expected) {
        QByteArray heard;
        spinUntil([&] { return (heard += peer.readAll()).size() >= expected.size(); });
        EXPECT_EQ(heard, expected);
    }

    QTcpServer server;
    quint16 port = 0;
    HandAlarm* alarm = nullptr; // owned by the feed
    QList<QByteArray> records;
    std::vector<NcidFeedStatus> statuses;
};

// One feed's whole life: retries with a growing wait, the handshake, records, the
// probe as the server's feature sets allow, and a wait begun anew after each loss.
TEST_F(NcidFeedTest, RetriesHandshakeRecordsProbesAndReconnects) {
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    port = server.serverPort();
    server.close();
    auto f = feed();
    f->start();
    QList<int> delays;
    for (int attempt = 1; attempt <= 8; ++attempt) {
        ASSERT_TRUE(spinUntil([&] { return lost(attempt); }));
        delays.append(statuses.back().retryInS);
        EXPECT_EQ(alarm->ms, statuses.back().retryInS * 1000);
        if (attempt < 8) alarm->ring();
    }
    EXPECT_EQ(delays, QList<int>({1, 2, 4, 8, 16, 32, 60, 60}));

    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    auto peer = connectWith("200 Server: test 1.0\r\n210 API: 1.5 Feature Set 1 2 3 4 5");
    ASSERT_TRUE(peer);
    peer->write("251 Call log not sent\r\n+CID: *NMBR*1*\r\n300 End of connection startup\r\n" +
                QByteArray(10'000, 'x') + "\r\nCID: *NMBR*5551234*NAME*JO*\r\n");
    ASSERT_TRUE(spinUntil([&] { return !records.isEmpty(); }));
    EXPECT_EQ(records, QList<QByteArray>({"Caller nmbr=5551234 name=JO"}));
    EXPECT_EQ(statuses.back().state, NcidFeedStatus::State::Connected);
    EXPECT_EQ(alarm->ms, NcidFeed::kSilenceMs);

    // Feature set 4 lets it ask "REQ: YO"; an answer keeps the line, none loses it.
    for (const bool answered : {true, false}) {
        alarm->ring();
        expectHeard(*peer, "REQ: YO\n");
        EXPECT_EQ(alarm->ms, NcidFeed::kAnswerMs);
        if (!answered) break;
        peer->write("ACK: REQ: YO\r\n");
        ASSERT_TRUE(spinUntil([&] { return alarm->ms == NcidFeed::kSilenceMs; }));
    }
    alarm->ring();
    ASSERT_TRUE(lost(9));
    EXPECT_EQ(statuses.back().retryInS, 1) << "a connection that started up begins the wait anew";

    // Without it, a bare line is all it sends, and no answer is awaited.
    peer = connectWith("210 API 1.0 Feature Set 1 2 3\r\n300 End");
    ASSERT_TRUE(peer);
    ASSERT_TRUE(
        spinUntil([&] { return statuses.back().state == NcidFeedStatus::State::Connected; }));
    alarm->ring();
    expectHeard(*peer, "\n");
    EXPECT_EQ(alarm->ms, NcidFeed::kSilenceMs);
    alarm->ring();
    EXPECT_FALSE(lost(10));
    peer->disconnectFromHost();
    ASSERT_TRUE(spinUntil([&] { return lost(10); }));
    EXPECT_EQ(statuses.back().retryInS, 1);
}

} // namespace
} // namespace tarvik
