// Calls from an NCID server, through the kind that shows and logs them.
#include "call_fakes.h"
#include "scripted_modem.h"

#include "engine/network_kind.h"
#include "modem/dialogue.h"
#include "store/call_record.h"
#include "store/settings.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using testing::FakeMainView;
using testing::FakeSound;
using testing::RecordingEvents;
using testing::RecordingView;
using testing::ScriptedModem;

struct NetworkKindFixture {
    NetworkKindFixture() {
        settings.DigCol = 7;
        settings.SoundFile = "ring.wav";
    }
    // The log lines read back as the call log does: "in N", "name N", nothing else.
    QList<QByteArray> readBack() const {
        QList<QByteArray> calls;
        for (const QByteArray& line : log)
            if (const auto call = callRecordFromLogLine("12/03 10:20:30 " + line, QDate(2024, 6, 1),
                                                        settings.DigCol))
                calls.append(call->kind == CallRecord::Kind::CallerName ? "name " + call->name
                                                                        : "in " + call->number);
        return calls;
    }

    SettingsRecord settings;
    ScriptedModem modem;
    RecordingView view;
    FakeSound sound;
    RecordingEvents events;
    QList<QByteArray> log;
    ModemDialogue dialogue{nullptr, modem};
    CallContext context{settings, view, dialogue, [this](const QByteArray& m) { log.append(m); },
                        &events};
    int feedsMade = 0;
    NcidFeed::Hooks hooks;
    NetworkKind kind{
        context, sound, {"ncid.lan", 3334}, [this](const NcidServerAddress&, NcidFeed::Hooks h) {
            ++feedsMade;
            hooks = std::move(h);
            return std::unique_ptr<NcidFeed>();
        }};
};

struct Row {
    QList<QByteArray> lines;
    QByteArray leds; // "" for digits left dark
    QByteArray status;
    QList<QByteArray> log;
    int beeps;
    QList<QByteArray> readBack;
};

TEST(NetworkKind, RecordsAreShownAndLoggedAsAReportingModemsCalls) {
    const QByteArray ring1 = "CIDINFO: *LINE*HOME*RING*1*TIME*10:20:30*";
    const QByteArray cid =
        "CID: *DATE*03122024*TIME*1020*LINE*HOME*NMBR*5551234567*MESG*NONE*NAME*JOHN DOE*";
    const QList<Row> table = {
        {{ring1}, "", "Incoming call (1).", {}, 1, {}},
        {{"CIDINFO: *LINE*-*RING*2*TIME*10:20:36*"}, "", "Incoming call (2).", {}, 0, {}},
        {{ring1, cid, "CIDINFO: *LINE*HOME*RING*2*TIME*10:20:36*"},
         "o 1234567",
         "Incoming call: 5551234567 JOHN DOE",
         {"Caller on line HOME", "NMBR = 5551234567", "NAME = JOHN DOE"},
         1,
         {"in 5551234567", "name JOHN DOE"}},
        {{"CID: *LINE*-*NMBR*PRIVATE*NAME*-*"},
         "n -------",
         "Incoming call: PRIVATE",
         {"NMBR = PRIVATE"},
         0,
         {"in PRIVATE"}},
        {{"CID: *NMBR*NO-NUMBER*NAME*NO NAME*"},
         "n -------",
         "Incoming call:",
         {"NMBR = NO-NUMBER"},
         0,
         {"in "}},
        {{"CID: *NMBR*-*NAME*ACME*"},
         "n -------",
         "Incoming call: ACME",
         {"NMBR = -", "NAME = ACME"},
         0,
         {"in ", "name ACME"}},
        {{"CID: *NMBR*123*NAME*NO NAME*"},
         "o     123",
         "Incoming call: 123",
         {"NMBR = 123"},
         0,
         {"in 123"}},
        {{"CID: *NMBR*555\x01*NAME*EVE\x1b[2J\r\x7f"
          "CallerID: 99*"},
         "o    555?",
         "Incoming call: 555? EVE?[2J??CallerID: 99",
         {"NMBR = 555?", "NAME = EVE?[2J??CallerID? 99"},
         0,
         {"in 555?", "name EVE?[2J??CallerID? 99"}},
        {{"HUP: *NMBR*5551234*NAME*SPAM*"},
         "",
         "Call hung up by the server: 5551234 SPAM",
         {"Call hung up by the server: 5551234 SPAM"},
         0,
         {}},
        {{"BLK: *NMBR*5551234*NAME*-*"},
         "",
         "Call blocked: 5551234",
         {"Call blocked: 5551234"},
         0,
         {}},
        {{"WID: *NMBR*-*NAME*NO NAME*"}, "", "Call waiting.", {"Call waiting."}, 0, {}},
        {{"MSG: CallerID: 1234 *at* 5\x07 ***DATE*03122024*"},
         "",
         "Message: CallerID: 1234 ?at? 5?",
         {"Message: CallerID? 1234 ?at? 5?"},
         0,
         {}},
        {{"OUT: *NMBR*5551234*NAME*-*", "200 Server"}, "", "", {}, 0, {}},
    };
    for (const Row& row : table) {
        NetworkKindFixture f;
        for (const QByteArray& line : row.lines)
            f.kind.onRecord(readNcidFeedLine(line));
        FakeMainView expected;
        ShowOnLeds(expected.leds(), row.leds);
        const std::string where = row.lines.back().toStdString();
        EXPECT_EQ(f.view.shown(), expected.shown()) << where;
        EXPECT_EQ(f.view.status, row.status) << where;
        EXPECT_EQ(f.log, row.log) << where;
        EXPECT_EQ(f.sound.events.count("beep"), row.beeps) << where;
        EXPECT_EQ(f.sound.events.count("play:ring.wav"), row.beeps) << where;
        EXPECT_EQ(f.view.shownForCaller, row.leds.isEmpty() ? 0 : 1) << where;
        EXPECT_EQ(f.readBack(), row.readBack) << where;
        EXPECT_TRUE(f.events.told.isEmpty()) << where;
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
    const QList<NcidFeedStatus> sequence = {
        {State::Connecting, 0, {}},
        {State::Connected, 0, {}},
        {State::Disconnected, 1, "The server closed the connection"},
        {State::Connecting, 0, {}},
        {State::Disconnected, 2, "Connection refused"},
        {State::Connecting, 0, {}},
        {State::Connected, 0, {}},
    };
    for (const NcidFeedStatus& status : sequence)
        f.hooks.status(status);
    EXPECT_EQ(f.view.statuses, (QList<QByteArray>{
                                   "Not connected to ncid.lan:3334, connecting now.",
                                   "Connected to ncid.lan:3334",
                                   "Not connected to ncid.lan:3334, trying again in 1 s.",
                                   "Not connected to ncid.lan:3334, connecting now.",
                                   "Not connected to ncid.lan:3334, trying again in 2 s.",
                                   "Not connected to ncid.lan:3334, connecting now.",
                                   "Connected to ncid.lan:3334",
                               }));
    EXPECT_EQ(f.log, (QList<QByteArray>{
                         "Connected to ncid.lan:3334",
                         "Connection to ncid.lan:3334 lost: The server closed the connection",
                         "Connected to ncid.lan:3334",
                     }));
    EXPECT_EQ(connections, (QList<bool>{false, true, false, true}));

    f.kind.stop();
    f.hooks.record(readNcidFeedLine("MSG: after the end"));
    EXPECT_EQ(f.log.size(), 3);
}

} // namespace
} // namespace tarvik
