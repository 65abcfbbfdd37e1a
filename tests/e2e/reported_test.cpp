// The real program against the simulator playing the caller-ID modems most
// people own, which report the caller with the rings: the forms they send, the
// command that switches caller ID on, a modem that drifts out of it or is
// plugged in again, and the caller at an NCID client. What needs no window runs
// on the service.
#include "e2e_support.h"
#include "ncid_test_client.h"

#include "store/phonebook.h"

#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

// Two rings a second apart; the block comes between them.
const QStringList kReportingModem = {"--cid-kind", "spaced", "--number", "5551234567",
                                     "--rings",    "2",      "--gap",    "1s"};

const QByteArray kLogged = "NMBR = 5551234567\nNAME = JOHN DOE";

struct ReportingRun {
    explicit ReportingRun(QStringList simArgs, QByteArray cidCommand = "AT+VCID=1",
                          bool ncid = false, Program program = Program::Desktop,
                          const std::function<void(Sandbox&)>& prepare = {})
        : cidCommand(std::move(cidCommand)) {
        box.setParam("CidMode", "1");
        if (prepare) prepare(box);
        if (ncid) {
            ncidPort = freeLoopbackPort();
            box.setValue("NCID", "Enabled", "1");
            box.setValue("NCID", "Port", QString::number(ncidPort));
        }
        sim = std::make_unique<Simulator>(box, simArgs);
        app = startProgram(program, box, modemTrace());
        started = sim->waitFor("rx", "ATV1", 15s).kind == "rx" &&
                  eventually([this] { return !box.logLines().isEmpty(); }, 10s);
    }
    // Makes a call and waits for its end, 8 s after its last line, when caller ID is
    // switched on again and the modem's OK read; the log lines it added, one a line.
    QByteArray call() {
        const qsizetype before = box.logLines().size();
        const int switchedOn = sim->count("rx", cidCommand);
        sim->command("call");
        const auto sentAgain = [&] { return sim->count("rx", cidCommand) > switchedOn; };
        eventually([&] { return sentAgain() && app->readSince(cidCommand, "OK"); }, 20s);
        return box.logLines().mid(before).join('\n');
    }
    std::string story() { return describeRun(*sim, box, *app); }

    QByteArray cidCommand;
    Sandbox box;
    quint16 ncidPort = 0;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool started = false;
};

TEST(ReportedCallerId, EachFormIsLoggedWholeAndToldWithItsNameAndTheLineIsNeverTaken) {
    // A Rockwell-type modem: the default command is refused, its own is taken.
    ReportingRun run(kReportingModem + QStringList{"--reply", "AT+VCID=1 ERROR"}, "AT#CID=1", true);
    ASSERT_TRUE(run.started) << run.story();
    EXPECT_EQ(run.sim->waitFor("rx", "AT#CID=1", 5s).kind, "rx") << run.story();
    ASSERT_TRUE(eventually([&] { return run.box.logLines().size() >= 3; }, 5s));
    EXPECT_EQ(run.box.logLines().mid(0, 2),
              QList<QByteArray>({R"(Caller ID not switched on: "AT+VCID=1" answered "ERROR")",
                                 R"(Caller ID switched on with "AT#CID=1")"}));
    EXPECT_TRUE(run.box.boxes().isEmpty()) << "a refusal is no start-up error";
    NcidClient client(run.ncidPort);
    ASSERT_EQ(client.startup().value(3), "300 End of connection startup");

    EXPECT_EQ(run.call(), kLogged) << run.story();
    const QList<QByteArray> told = client.linesUntil("CID:", 1s);
    ASSERT_FALSE(told.isEmpty());
    EXPECT_TRUE(told.last().endsWith("*NMBR*5551234567*MESG*NONE*NAME*JOHN DOE*"))
        << told.last().toStdString();
    EXPECT_EQ(run.sim->count("rx", "AT#CID=1"), 2) << "switched on again after the call";

    struct Form {
        const char* commands;
        const char* logged;
    };
    const QList<Form> forms = {
        {"cid-kind compact\nsplit-pause 800ms", "NMBR=5551234567\nNAME=JOHN DOE"},
        {"cid-kind before-ring\nsplit-pause 0ms\nname none\nnumber 01632960123",
         "NMBR = 01632960123"},
        {"cid-kind spaced\nnumber P", "NMBR = P"},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.commands);
        for (const QByteArray& command : QByteArray(form.commands).split('\n'))
            run.sim->command(command);
        EXPECT_EQ(run.call(), form.logged) << run.story();
    }
    EXPECT_EQ(run.sim->count("rx", "AT+SR"), 0) << "the line is never taken";
    EXPECT_TRUE(run.app->running());
}

TEST(ReportedCallerId, AModemThatDriftsOutOfCallerIdOrIsPluggedInAgainIsSetUpAgain) {
    // It stops reporting after each call: switched on again after every call, it reports on.
    ReportingRun run(kReportingModem + QStringList{"--cid-stops-after", "1"}, "AT+VCID=1", false,
                     Program::Service);
    ASSERT_TRUE(run.started) << run.story();
    EXPECT_EQ(run.call(), kLogged) << run.story();
    EXPECT_EQ(run.call(), kLogged) << run.story();

    // A call that rings without a caller: the whole greeting runs again.
    run.sim->command("cid-kind none");
    const int greetings = run.sim->count("rx", "ATV1");
    EXPECT_EQ(run.call(), "Incoming call, no caller ID.\n"
                          "No caller ID on a call that rang: the modem is set up again.")
        << run.story();
    EXPECT_EQ(run.sim->count("rx", "ATV1"), greetings + 1);
    run.sim->command("cid-kind spaced");

    // Plugged in again, the modem has forgotten caller ID; the program tells it again.
    run.sim->command("unplug");
    ASSERT_TRUE(eventually(
        [&] { return run.box.logLines().contains("Modem lost, COM-Port closed"); }, 10s));
    const int switchedOn = run.sim->count("rx", "AT+VCID=1");
    run.sim->command("plug");
    ASSERT_TRUE(eventually(
        [&] {
            return run.sim->count("rx", "AT+VCID=1") > switchedOn &&
                   run.box.logLines().contains("Modem is back, COM-Port opened");
        },
        10s))
        << run.story();
    EXPECT_EQ(run.call(), kLogged) << run.story();
}

class CallScreening : public ::testing::TestWithParam<Program> {};

TEST_P(CallScreening, BadAndWithheldCallersAreHungUpAndAGoodOneIsNamedFromTheBook) {
    ReportingRun run(kReportingModem, "AT+VCID=1", true, GetParam(), [](Sandbox& box) {
        box.setParam("HangUpBad", "1");
        box.setParam("HangUpWithheld", "1");
        QFile book(box.programDir() + "phones.dat");
        ASSERT_TRUE(book.open(QIODevice::WriteOnly));
        book.write(encodePhoneRecord({"5551234567", "SPAMMER", "", psBad}));
        book.write(encodePhoneRecord({"(212) 555-9999", "GRANNY", "", psGood}));
    });
    ASSERT_TRUE(run.started) << run.story();
    NcidClient client(run.ncidPort);
    ASSERT_EQ(client.startup().value(3), "300 End of connection startup");

    struct Call {
        const char* number;
        QByteArray logged;
        QByteArray told; // the client's line for the caller
    };
    const Call calls[] = {
        {"5551234567", "Hung up: 5551234567 SPAMMER",
         "HUP:*NMBR*5551234567*MESG*NONE*NAME*SPAMMER*"},
        {"12125559999", "NMBR = 12125559999\nNAME = JOHN DOE",
         "CID:*NMBR*12125559999*MESG*NONE*NAME*GRANNY*"},
        {"P", "Hung up: PRIVATE", "HUP:*NMBR*PRIVATE*MESG*NONE*NAME*NO NAME*"},
    };
    int hungUp = 0, blocks = 0;
    for (const Call& call : calls) {
        SCOPED_TRACE(call.number);
        run.sim->command("number " + QByteArray(call.number));
        EXPECT_EQ(run.call(), call.logged) << run.story();
        const QByteArray label = call.told.first(4);
        const QList<QByteArray> told = client.linesUntil(label, 1s);
        EXPECT_TRUE(!told.isEmpty() && told.last().startsWith(label + ' ') &&
                    told.last().endsWith(call.told.sliced(4)))
            << told.join('\n').toStdString();
        ++blocks;
        if (label != "HUP:") continue;
        // Off-hook soon after the caller-ID block, the line put down again.
        const auto block = run.sim->waitFor(
            [](const TranscriptEntry& e) { return e.kind == "tx" && e.text.contains("NMBR"); }, 1s,
            blocks);
        const auto offHook = run.sim->waitFor("rx", "ATH1", 1s, ++hungUp);
        ASSERT_FALSE(offHook.kind.isEmpty()) << run.story();
        EXPECT_LT(offHook.ms - block.ms, 3000) << run.story();
        EXPECT_EQ(run.sim->count("rx", "ATH0"), hungUp);
    }
    EXPECT_EQ(run.sim->count("rx", "ATH1"), 2) << "the good caller rang on";
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, CallScreening,
                         ::testing::Values(Program::Desktop, Program::Service),
                         [](const ::testing::TestParamInfo<Program>& info) {
                             return info.param == Program::Desktop ? "Desktop" : "Service";
                         });

} // namespace
} // namespace tarvik::e2e
