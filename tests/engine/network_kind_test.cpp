// Calls from an NCID server, through the kind that shows and logs them.
#include "call_bench.h"

#include "engine/network_kind.h"
#include "modem/dialogue.h"
#include "store/call_record.h"
#include "store/settings.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using namespace testing;

struct NetworkKindFixture : CallBench {
    NetworkKindFixture() { settings.DigCol = 7, settings.SoundFile = "ring.wav"; }
    // What a row checks, in a few words; "read" is what the call log reads back.
    QByteArray outcome() const {
        QList<QByteArray> calls;
        for (const QByteArray& line : log)
            if (const auto call = callRecordFromLogLine("12/03 10:20:30 " + line, QDate(2024, 6, 1),
                                                        settings.DigCol))
                calls.append(call->kind == CallRecord::Kind::CallerName ? "name " + call->name
                                                                        : "in " + call->number);
        const std::pair<const char*, QByteArray> parts[] = {
            {"status", view.status},
            {"log", log.join("; ")},
            {"read", calls.join("; ")},
            {"sound", sound.events.join(' ').toUtf8()},
            {"shown", view.shownForCaller ? QByteArray::number(view.shownForCaller) : ""}};
        QByteArray out;
        for (const auto& [key, value] : parts)
            if (!value.isEmpty()) out += ' ' + QByteArray(key) + '=' + value;
        return out.mid(1);
    }

    int feedsMade = 0;
    NcidFeed::Hooks hooks;
    NetworkKind kind{
        context, sound, {"ncid.lan", 3334}, [this](const NcidServerAddress&, NcidFeed::Hooks h) {
            ++feedsMade;
            hooks = std::move(h);
            return std::unique_ptr<NcidFeed>();
        }};
};

TEST(NetworkKind, RecordsAreShownAndLoggedAsAReportingModemsCalls) {
    const QByteArray ring1 = "CIDINFO: *LINE*HOME*RING*1*", play = " sound=beep play:ring.wav";
    const QByteArray cid = "CID: *DATE*03122024*TIME*1020*LINE*HOME*NMBR*5551234*NAME*JO*";
    struct Row {
        QList<QByteArray> lines;
        QByteArray leds; // "" for digits left dark
        QByteArray outcome;
    };
    const Row table[] = {
        {{ring1, "CIDINFO: *LINE*-*RING*2*"}, "", "status=Incoming call (2)." + play},
        {{ring1, cid, "CIDINFO: *LINE*HOME*RING*2*"},
         "o 5551234",
         "status=Incoming call: 5551234 JO log=Caller on line HOME; NMBR = 5551234; NAME = JO "
         "read=in 5551234; name JO" +
             play + " shown=1"},
        // What the server puts for no line, number or name is left out.
        {{"CID: *LINE*-*NMBR*PRIVATE*NAME*-*", "CID: *NMBR*NO-NUMBER*NAME*NO NAME*"},
         "n -------",
         "status=Incoming call: log=NMBR = PRIVATE; NMBR = NO-NUMBER read=in PRIVATE; in  shown=2"},
        // A name in UTF-8: the server's bytes logged, the letters shown.
        {{"CID: *NMBR*5551234*NAME*\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd*"},
         "o 5551234",
         "status=Incoming call: 5551234 \xc8\xe2\xe0\xed log=NMBR = 5551234; NAME = "
         "\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd read=in 5551234; name \xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd "
         "shown=1"},
        {{"CID: *NMBR*5\x01*NAME*CallerID: 9\x1b[2J\r\x7f*"},
         "o      5?",
         "status=Incoming call: 5? CallerID: 9?[2J?? log=NMBR = 5?; NAME = CallerID? 9?[2J?? "
         "read=in 5?; name CallerID? 9?[2J?? shown=1"},
        // Each told as it is; a "CallerID:" in the log would read back as a call.
        {{"HUP: *NMBR*5551234*NAME*SPAM*", "BLK: *NMBR*5551234*NAME*-*",
          "WID: *NMBR*-*NAME*NO NAME*", "MSG: CallerID: 1 *at* 5\x07 ***DATE*03122024*"},
         "",
         "status=Message: CallerID: 1 ?at? 5? log=Call hung up by the server: 5551234 SPAM; "
         "Call blocked: 5551234; Call waiting.; Message: CallerID? 1 ?at? 5?"},
        {{"OUT: *NMBR*5551234*NAME*-*", "200 Server"}, "", ""},
    };
    for (const Row& row : table) {
        NetworkKindFixture f;
        for (const QByteArray& line : row.lines)
            f.kind.onRecord(readNcidFeedLine(line));
        FakeMainView expected;
        ShowOnLeds(expected.leds(), row.leds);
        SCOPED_TRACE(row.lines.back().toStdString());
        EXPECT_EQ(f.outcome(), row.outcome);
        EXPECT_EQ(f.view.shown(), expected.shown());
        EXPECT_TRUE(f.events.told.isEmpty());
    }
}

TEST(NetworkKind, ConnectionLossAndReturnAreToldOnce) {
    NetworkKindFixture f;
    QList<bool> connections;
    f.kind.onConnection = [&](bool up) { connections.append(up); };
    f.kind.watch();
    f.kind.watch();
    ASSERT_EQ(f.feedsMade, 1);
    using State = NcidFeedStatus::State;
    const QByteArray up = "Connected to ncid.lan:3334", down = "Not connected to ncid.lan:3334, ";
    const std::pair<NcidFeedStatus, QByteArray> sequence[] = {
        {{State::Connecting, 0, {}}, down + "connecting now."},
        {{State::Connected, 0, {}}, up},
        {{State::Disconnected, 1, "Closed"}, down + "trying again in 1 s."},
        {{State::Connecting, 0, {}}, down + "connecting now."},
        {{State::Disconnected, 2, "Refused"}, down + "trying again in 2 s."},
        {{State::Connecting, 0, {}}, down + "connecting now."},
        {{State::Connected, 0, {}}, up},
    };
    QList<QByteArray> shown;
    for (const auto& [status, text] : sequence) {
        f.hooks.status(status);
        shown.append(text);
    }
    EXPECT_EQ(f.view.statuses, shown);
    EXPECT_EQ(f.log, (QList<QByteArray>{up, "Connection to ncid.lan:3334 lost: Closed", up}));
    EXPECT_EQ(connections, (QList<bool>{false, true, false, true}));

    // The user's Disconnect and Connect: no loss logged, a new feed.
    f.kind.switchOn(false);
    f.hooks.record(readNcidFeedLine("MSG: after the end"));
    EXPECT_EQ(std::tuple(f.view.status, f.log.size(), connections.last(), f.kind.switchedOn()),
              std::tuple("Not connected to ncid.lan:3334.", 3, false, false));
    f.kind.switchOn(true);
    EXPECT_EQ(std::tuple(f.feedsMade, f.kind.switchedOn()), std::tuple(2, true));

    NetworkKind none(f.context, f.sound, {}, [](const NcidServerAddress&, NcidFeed::Hooks) {
        ADD_FAILURE() << "a feed to no server";
        return std::unique_ptr<NcidFeed>();
    });
    none.switchOn(true);
    EXPECT_EQ(std::tuple(f.view.status, none.switchedOn()),
              std::tuple("No NCID server set: see Settings, Caller ID.", false));
}

} // namespace
} // namespace tarvik
