// The NCID server of the real program, against the modem simulator and plain TCP
// clients: the start-up sequence and the call log, the live lines of calls and
// dials, clients that stop reading or send garbage, the client limit, and the
// settings.
#include "e2e_support.h"
#include "ncid_test_client.h"
#include "x11_support.h"

#include "store/calllog.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>
#include <optional>

namespace tarvik::e2e {
namespace {

const QByteArray kGreeting = "200 Server: TARVIK " TARVIK_VERSION;
const QByteArray kApi = "210 API: 1.5 Feature Set 1";
const QByteArray kLogEnd = "250 End of call log";
const QByteArray kLogNotSent = "251 Call log not sent";
const QByteArray kLogEmpty = "252 Call log empty";
const QByteArray kNoLog = "253 No Call log";
const QByteArray kStartupEnd = "300 End of connection startup";

// Quick calls: one ring, answered on it, the report 50 ms after the answer.
const QStringList kQuickCalls = {"--number", "0012345678",     "--rings",
                                 "1",        "--answer-delay", "50ms"};

// The fields shared by CID, CIDLOG, OUT and OUTLOG lines.
QByteArray callFields(const QDate& date, const QTime& time, const QByteArray& lineId,
                      const QByteArray& number) {
    return "*DATE*" + date.toString("MMddyyyy").toLatin1() + "*TIME*" +
           time.toString("hhmm").toLatin1() + "*LINE*" + lineId + "*NMBR*" + number +
           "*MESG*NONE*NAME*NO NAME*";
}

// The date and time of a raw log line's stamp "dd/mm hh:mm:ss", in `year`.
QDateTime stampOf(const QByteArray& logLine, int year) {
    return {QDate(year, logLine.mid(3, 2).toInt(), logLine.mid(0, 2).toInt()),
            QTime(logLine.mid(6, 2).toInt(), logLine.mid(9, 2).toInt())};
}

// The raw log lines (stamp included) that contain `text`.
QList<QByteArray> rawLogLinesWith(const Sandbox& box, const QByteArray& text) {
    QList<QByteArray> found;
    for (QByteArray line : box.log().split('\n'))
        if (line.contains(text)) found.append(line.trimmed());
    return found;
}

// A log written before the program starts, one stamped line each.
class LogWriter {
public:
    void add(const QDateTime& when, const QByteArray& message) {
        text_ += logStamp(when) + message + "\r\n";
    }
    bool writeTo(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text_) == text_.size();
    }

private:
    QByteArray text_;
};

// The program with its NCID server switched on at a free port, against the simulator.
struct NcidRun {
    explicit NcidRun(const QStringList& simArgs = kQuickCalls,
                     const std::function<void(Sandbox&)>& setUp = {},
                     const QProcessEnvironment& environment = {},
                     Program program = Program::Desktop)
        : port(freeLoopbackPort()) {
        box.setValue("NCID", "Enabled", "1");
        box.setValue("NCID", "Port", QString::number(port));
        if (setUp) setUp(box);
        sim = std::make_unique<Simulator>(box, simArgs);
        app = startProgram(program, box, environment);
        // Its start line, or the box that tells it could not write one.
        started =
            sim->waitFor("rx", "ATM2+S64=1", 15s).kind == "rx" &&
            eventually([this] { return !box.logLines().isEmpty() || !box.boxes().isEmpty(); }, 10s);
    }

    // From `source`, a loopback address: the server takes at most 10 clients from one.
    std::unique_ptr<NcidClient> client(int receiveBuffer = 0, QByteArrayView source = {}) {
        return std::make_unique<NcidClient>(port, 10s, receiveBuffer, source);
    }
    // A client that has read its start-up lines.
    std::unique_ptr<NcidClient> readyClient() {
        auto c = client();
        const QList<QByteArray> lines = c->startup();
        EXPECT_EQ(lines.value(lines.size() - 1), kStartupEnd) << story();
        return c;
    }
    qint64 logSize() const { return box.log().size(); }
    // Starts a call and waits until the program has logged its caller. The answer
    // window, which purges a ring, has ended once a client has the call's "RING*0".
    bool callAndWaitForCaller() {
        const qsizetype callers = rawLogLinesWith(box, "CallerID:").size();
        sim->command("call");
        return eventually([&] { return rawLogLinesWith(box, "CallerID:").size() > callers; });
    }
    std::string story() { return describeRun(*sim, box, *app); }

    Sandbox box;
    quint16 port;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool started = false;
};

// The live lines of one answered call from 0012345678 at line "-", checked in
// order: the ring, the caller, the end of the ringing at the answer's end.
void expectQuickCallLines(const QList<QByteArray>& lines, const QByteArray& cidLine) {
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("CIDINFO: *LINE*-*RING*1*TIME*")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], cidLine);
    EXPECT_TRUE(lines[2].startsWith("CIDINFO: *LINE*-*RING*0*TIME*")) << lines[2].toStdString();
}

// The lines of one answered call, up to the end of its ringing.
QList<QByteArray> callLines(NcidClient& client) {
    return client.linesUntil("CIDINFO: *LINE*-*RING*0*", 5s);
}

// The CID line the program's last caller gives (caller 0012345678, DigCol 7).
QByteArray lastCallerCid(const Sandbox& box) {
    const QList<QByteArray> callers = rawLogLinesWith(box, "CallerID:");
    const QDateTime when = stampOf(callers.value(callers.size() - 1), QDate::currentDate().year());
    return "CID: " + callFields(when.date(), when.time(), "-", "1234567");
}

// ---- The start-up sequence ----------------------------------------------------

TEST(NcidStartup, TheCallLogComesInFileOrderBetweenTheGreetingAndTheEnd) {
    const QDate today = QDate::currentDate();
    const QDate past = today.addDays(-3);
    // A day and month after today can only be last year's.
    QDate future = today.addDays(5);
    if (future.month() == 2 && future.day() == 29) future = future.addDays(1);
    const QDate futureLastYear(future.year() - 1, future.month(), future.day());
    const auto at = [](const QDate& d, int h, int m) { return QDateTime(d, QTime(h, m, 30)); };

    LogWriter log;
    log.add(at(past, 8, 15), "");
    log.add(at(future, 9, 5), "CallerID: 0012345678");
    log.add(at(future, 9, 5), "Category 8");
    log.add(at(past, 10, 20), "Outgoing call to \"5551234\":BUSY");
    log.add(at(past, 10, 21), "Incoming call, ignored.");
    log.add(at(past, 11, 0), "CallerID: Unknown");
    log.add(at(past, 11, 1), "CallerID: 123?5678");
    log.add(at(past, 11, 2), "CallerID: 1234567?");
    log.add(at(past, 11, 3), "Outgoing call to \"w1*2\":");
    log.add(at(past, 11, 4), "Outgoing call to \"\":OK");
    log.add(at(past, 11, 5), "CallerID: 99912345678");
    log.add(at(past, 11, 6), "CallerID: 1234");
    log.add(at(past, 11, 7), "CallerID: 000");

    NcidRun run(kQuickCalls, [&log](Sandbox& box) { ASSERT_TRUE(log.writeTo(box.logPath())); });
    ASSERT_TRUE(run.started) << run.story();
    auto client = run.client();
    ASSERT_TRUE(client->connected());

    QList<QByteArray> lines;
    std::optional<Clock::time_point> apiAt, afterApiAt;
    while (auto line = client->nextLine(10s)) {
        if (lines.size() == 1) apiAt = line->at;
        if (lines.size() == 2) afterApiAt = line->at;
        lines.append(line->text);
        if (line->text.startsWith("300 ")) break;
    }
    const auto fields = [&](const QDate& d, int h, int m, const QByteArray& number) {
        return callFields(d, QTime(h, m), "-", number);
    };
    EXPECT_EQ(lines, (QList<QByteArray>{
                         kGreeting,
                         kApi,
                         "CIDLOG: " + fields(futureLastYear, 9, 5, "1234567"),
                         "OUTLOG: " + fields(past, 10, 20, "5551234"),
                         "CIDLOG: " + fields(past, 11, 0, "NO-NUMBER"),
                         "CIDLOG: " + fields(past, 11, 1, "123X567"),
                         "CIDLOG: " + fields(past, 11, 2, "1234567"),
                         "OUTLOG: " + fields(past, 11, 3, "w1?2"),
                         "OUTLOG: " + fields(past, 11, 4, "NO-NUMBER"),
                         "CIDLOG: " + fields(past, 11, 5, "1234567"),
                         "CIDLOG: " + fields(past, 11, 6, "123"),
                         "CIDLOG: " + fields(past, 11, 7, "NO-NUMBER"),
                         kLogEnd,
                         kStartupEnd,
                     }))
        << run.story();
    EXPECT_FALSE(client->sawBareLf()) << "every line ends with CR LF";
    ASSERT_TRUE(apiAt && afterApiAt);
    const auto helloWait = std::chrono::duration_cast<milliseconds>(*afterApiAt - *apiAt);
    EXPECT_GE(helloWait.count(), 200) << "the server waits for the client's HELLO lines";
    EXPECT_LT(helloWait.count(), 2000);
}

struct LogAbsence {
    const char* name;
    std::function<void(Sandbox&)> setUp;
    QByteArray hello; // sent by the client right after connecting
    QByteArray expected;
};

void PrintTo(const LogAbsence& variant, std::ostream* out) {
    *out << variant.name;
}

class NcidLogAbsence : public ::testing::TestWithParam<LogAbsence> {};

TEST_P(NcidLogAbsence, OneCodeLineStandsForTheLog) {
    NcidRun run(kQuickCalls, GetParam().setUp);
    ASSERT_TRUE(run.started) << run.story();
    auto client = run.client();
    ASSERT_TRUE(client->connected());
    if (!GetParam().hello.isEmpty()) {
        ASSERT_TRUE(client->send(GetParam().hello));
    }
    EXPECT_EQ(client->startup(),
              (QList<QByteArray>{kGreeting, kApi, GetParam().expected, kStartupEnd}))
        << run.story();
}

// A log that holds one call, so that "not sent" differs from "empty".
void logWithOneCall(Sandbox& box) {
    LogWriter log;
    log.add(QDateTime::currentDateTime().addSecs(-3600), "CallerID: 12345678");
    ASSERT_TRUE(log.writeTo(box.logPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, NcidLogAbsence,
    ::testing::Values(
        // The log goes to a folder that does not exist: no file ever.
        LogAbsence{"NoLogFile",
                   [](Sandbox& box) { box.setParam("fnLog", box.path("missing/tarvik.log")); },
                   {},
                   kNoLog},
        // The program adds its start line, which is no call.
        LogAbsence{"LogWithoutCalls",
                   [](Sandbox& box) { ASSERT_TRUE(LogWriter().writeTo(box.logPath())); },
                   {},
                   kLogEmpty},
        LogAbsence{"ClientAsksForNoLog", logWithOneCall,
                   "HELLO: IDENT: client ncid-test 1.0\nHELLO: CMD: no_log\n", kLogNotSent},
        LogAbsence{"ClientAsksForNoLogWithCrLf", logWithOneCall, "HELLO: CMD: no_log\r\n",
                   kLogNotSent},
        LogAbsence{"SendLogSwitchedOff",
                   [](Sandbox& box) {
                       logWithOneCall(box);
                       box.setValue("NCID", "SendLog", "0");
                   },
                   {},
                   kLogNotSent}),
    [](const ::testing::TestParamInfo<LogAbsence>& info) { return info.param.name; });

// ---- Live lines ---------------------------------------------------------------
// A call's lines need the line's engine only: they run on the service. A dial
// needs the desktop's keypad.

TEST(NcidLive, RingsTheAnswerAndTheCallerComeAtOnceOnTheConfiguredLine) {
    NcidRun run(
        {"--number", "0012345678", "--rings", "3", "--gap", "300ms", "--answer-delay", "50ms"},
        [](Sandbox& box) {
            box.setParam("AnswerOnRing", "3");
            box.setParam("DigCol", "4");
            box.setValue("NCID", "LineId", "HOME");
        },
        {}, Program::Service);
    ASSERT_TRUE(run.started) << run.story();
    auto client = run.readyClient();
    const QRegularExpression info(
        R"(^CIDINFO: \*LINE\*HOME\*RING\*(\d+)\*TIME\*(\d\d:\d\d:\d\d)\*$)");
    // Twice: the ring count starts again with each call.
    for (int call = 1; call <= 2; ++call) {
        SCOPED_TRACE(call);
        const qint64 offset = run.logSize();
        run.sim->command("call");
        const CallerToCid seen = watchCallerToCid(*client, run.box.logPath(), offset, 15s);
        ASSERT_EQ(seen.lines.size(), 4) << seen.lines.join('\n').toStdString() << run.story();
        QList<QByteArray> ringLines = seen.lines.first(3);
        // Sent after the answer window, which would purge the next call's first ring.
        const auto end = client->nextLine(5s);
        ASSERT_TRUE(end) << run.story();
        ringLines.append(end->text);
        QList<int> rings;
        for (const QByteArray& line : ringLines) {
            const auto match = info.match(QString::fromLatin1(line));
            ASSERT_TRUE(match.hasMatch()) << line.toStdString();
            rings.append(match.captured(1).toInt());
            const int drift =
                QTime::fromString(match.captured(2), "hh:mm:ss").secsTo(QTime::currentTime());
            EXPECT_TRUE(std::abs(drift) < 10 || std::abs(drift) > 86390) << line.toStdString();
        }
        EXPECT_EQ(rings, (QList<int>{1, 2, 3, 0})) << "the ringing ends after the caller";
        const QByteArray caller = rawLogLinesWith(run.box, "CallerID:").value(call - 1);
        const QDateTime when = stampOf(caller, QDate::currentDate().year());
        EXPECT_EQ(seen.lines.last(), "CID: " + callFields(when.date(), when.time(), "HOME", "4567"))
            << "the number as the LEDs show it at DigCol 4";
        ASSERT_TRUE(seen.delay);
        EXPECT_GE(seen.delay->count(), 0) << "the CID line follows the log line";
    }
    EXPECT_FALSE(client->sawBareLf());
}

TEST(NcidLive, TwoClientsGetTheSameLinesOfACall) {
    NcidRun run(kQuickCalls, {}, {}, Program::Service);
    ASSERT_TRUE(run.started) << run.story();
    auto first = run.readyClient();
    auto second = run.readyClient();
    ASSERT_TRUE(run.callAndWaitForCaller()) << run.story();
    const QList<QByteArray> firstLines = callLines(*first);
    expectQuickCallLines(firstLines, lastCallerCid(run.box));
    EXPECT_EQ(callLines(*second), firstLines);
}

TEST(NcidLive, ACallDuringAClientsStartUpComesAfterIt) {
    NcidRun run(kQuickCalls, {}, {}, Program::Service);
    ASSERT_TRUE(run.started) << run.story();
    auto client = run.client();
    ASSERT_TRUE(client->connected());
    // The ring is counted while the server still waits for the client's HELLO lines.
    run.sim->command("call");
    const QList<QByteArray> lines = client->linesUntil("CIDINFO: *LINE*-*RING*0*", 10s);
    ASSERT_GE(lines.size(), 4) << run.story();
    EXPECT_EQ(lines.first(4), (QList<QByteArray>{kGreeting, kApi, kLogEmpty, kStartupEnd}));
    expectQuickCallLines(lines.mid(4), lastCallerCid(run.box));
}

TEST(NcidLive, ADialGivesAnOutLineWhenTheNumberIsSentAndAnOutlogLineLater) {
    XServer x;
    if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
    // A slow result, so that the dial's log line comes well after the number went out.
    NcidRun run({"--dial-result", "BUSY", "--dial-delay", "2s"}, {}, x.clientEnvironment());
    ASSERT_TRUE(run.started) << run.story();
    const QString window = x.findWindow(kMainWindowTitle, 15000);
    ASSERT_FALSE(window.isEmpty()) << "without a tray the window shows at start";
    auto client = run.readyClient();

    const QDateTime before = QDateTime::currentDateTime();
    x.xdotool({"windowfocus", "--sync", window});
    x.xdotool({"key", "--delay", "120", "5", "5", "5", "space"});
    const auto out = client->nextLine(10s);
    ASSERT_TRUE(out) << run.story();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_EQ(run.sim->waitFor("rx", "ATDP555", 1s).kind, "rx") << "the number went out first";
    EXPECT_TRUE(rawLogLinesWith(run.box, "Outgoing call").isEmpty())
        << "the OUT line comes when the number is sent, not at the dial's end";
    EXPECT_TRUE(out->text == "OUT: " + callFields(before.date(), before.time(), "-", "555") ||
                out->text == "OUT: " + callFields(after.date(), after.time(), "-", "555"))
        << out->text.toStdString();

    ASSERT_TRUE(eventually([&] { return !rawLogLinesWith(run.box, "Outgoing call").isEmpty(); }))
        << run.story();
    const QByteArray dialLine = rawLogLinesWith(run.box, "Outgoing call").first();
    EXPECT_TRUE(dialLine.endsWith("Outgoing call to \"555\":BUSY"));
    const QDateTime logged = stampOf(dialLine, QDate::currentDate().year());
    auto later = run.client();
    EXPECT_EQ(later->startup(),
              (QList<QByteArray>{kGreeting, kApi,
                                 "OUTLOG: " + callFields(logged.date(), logged.time(), "-", "555"),
                                 kLogEnd, kStartupEnd}));
}

// ---- Clients that misbehave -----------------------------------------------------

// The most the system takes into a TCP socket's send buffer.
qint64 systemSendBufferMax() {
    QFile limits("/proc/sys/net/ipv4/tcp_wmem");
    const QList<QByteArray> fields = limits.open(QIODevice::ReadOnly)
                                         ? limits.readAll().simplified().split(' ')
                                         : QList<QByteArray>{};
    return std::max<qint64>(fields.value(2).toLongLong(), 4 << 20);
}

TEST(NcidClients, OneThatStopsReadingIsDroppedWhileCallsGoOnAndOthersGetEveryLine) {
    // A long log: more start-up output than the system's buffers take for the
    // stalled client, so that the rest waits in the server (a CIDLOG line has
    // about 80 bytes).
    const int kLoggedCalls = static_cast<int>(systemSendBufferMax() * 3 / 2 / 80);
    const QDateTime when = QDateTime::currentDateTime().addDays(-2);
    NcidRun run(kQuickCalls, [&](Sandbox& box) {
        LogWriter log;
        for (int i = 0; i < kLoggedCalls; ++i)
            log.add(when, "CallerID: 55512343");
        ASSERT_TRUE(log.writeTo(box.logPath()));
    });
    ASSERT_TRUE(run.started) << run.story();
    auto stalled = run.client(4096);
    ASSERT_TRUE(stalled->connected());
    QElapsedTimer sinceStall;
    sinceStall.start();
    auto reader = run.client();
    const QList<QByteArray> startup = reader->startup(30s);
    ASSERT_EQ(startup.size(), kLoggedCalls + 4) << run.story();
    EXPECT_EQ(startup.count("CIDLOG: " + callFields(when.date(), when.time(), "-", "5551234")),
              kLoggedCalls);
    EXPECT_EQ(startup.last(), kStartupEnd);
    const qint64 startupBytes = reader->bytesRead();

    constexpr int kCalls = 3;
    for (int call = 1; call <= kCalls; ++call) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(run.callAndWaitForCaller()) << run.story();
        const auto ring = run.sim->waitFor("tx", "RING", 1s, call);
        const auto answer = run.sim->waitFor("rx", "AT+SR", 1s, call);
        EXPECT_LT(answer.ms - ring.ms, 1500) << "the answer is not held up";
        expectQuickCallLines(callLines(*reader), lastCallerCid(run.box));
    }
    EXPECT_EQ(run.box.logLines().count("CallerID: 0012345678"), kCalls);

    // Its output stays in the server's bounded queue; after about 10 s without
    // progress the client is taken to be stuck. It must not read before then.
    QThread::msleep(static_cast<unsigned long>(std::max<qint64>(0, 13000 - sinceStall.elapsed())));
    EXPECT_TRUE(stalled->closedWithin(5s)) << "the stalled client was disconnected";
    EXPECT_LT(stalled->bytesRead(), startupBytes);
    EXPECT_TRUE(run.app->running());
}

TEST(NcidClients, GarbageDisconnectsOnlyItsSenderAndHarmlessLinesAreIgnored) {
    NcidRun run;
    ASSERT_TRUE(run.started) << run.story();
    auto bystander = run.readyClient();
    struct Bad {
        const char* what;
        QByteArray bytes;
    };
    const QList<Bad> bad = {
        {"a NUL byte", QByteArray("HELLO\0there\n", 12)},
        {"a control byte", "HELLO\x01\n"},
        {"an escape sequence", "\x1b[2J\n"},
        {"invalid UTF-8", "caf\xc3\x28\n"},
        {"a line over 1024 bytes without its end", QByteArray(1025, 'x')},
        {"over 200 lines within a second", QByteArray(201, '\n')},
    };
    std::vector<std::unique_ptr<NcidClient>> senders;
    for (const Bad& b : bad) {
        senders.push_back(run.readyClient());
        ASSERT_TRUE(senders.back()->send(b.bytes)) << b.what;
    }
    // Harmless: keep-alives, unknown text, a tab, UTF-8 and a line of exactly 1024 bytes.
    auto harmless = run.readyClient();
    ASSERT_TRUE(harmless->send("\n\r\nHELLO: IDENT: late\nREQ: INFO 5551234&&-\nGrüße\ta\r\n" +
                               QByteArray(1024, 'y') + "\n" + QByteArray(150, '\n')));
    for (std::size_t i = 0; i < senders.size(); ++i)
        EXPECT_TRUE(senders[i]->closedWithin(3s)) << bad[static_cast<qsizetype>(i)].what;
    // Requests are answered in order: the first line back is the probe's.
    ASSERT_TRUE(harmless->send("REQ: YO\n"));
    const std::optional<NcidLine> first = harmless->nextLine(kHangGuard);
    EXPECT_EQ(first ? first->text : "(closed)", "ACK: REQ: YO") << "no reply, and no close";
    EXPECT_FALSE(harmless->closed());

    ASSERT_TRUE(run.callAndWaitForCaller()) << run.story();
    const QByteArray cid = lastCallerCid(run.box);
    expectQuickCallLines(callLines(*harmless), cid);
    expectQuickCallLines(callLines(*bystander), cid);
    EXPECT_EQ(run.sim->count("rx", "AT+SR"), 1);
}

TEST(NcidClients, GoodbyeEndsTheConnection) {
    NcidRun run;
    ASSERT_TRUE(run.started) << run.story();
    for (const QByteArray ending : {"\n", "\r\n"}) {
        auto client = run.readyClient();
        ASSERT_TRUE(client->send("GOODBYE" + ending));
        EXPECT_TRUE(client->closedWithin(3s)) << run.story();
    }
    // Also in the middle of the start-up, before the log.
    auto early = run.client();
    ASSERT_TRUE(early->send("GOODBYE\n"));
    EXPECT_TRUE(early->closedWithin(3s));
    EXPECT_TRUE(run.app->running());
}

TEST(NcidClients, FiftyGetACallAndTheFiftyFirstIsToldWhyAndClosed) {
    NcidRun run;
    ASSERT_TRUE(run.started) << run.story();
    // Five machines of ten clients each, the most one address may have.
    const auto address = [](int i) { return "127.0.3." + QByteArray::number(i / 10 + 1); };
    std::vector<std::unique_ptr<NcidClient>> clients;
    for (int i = 0; i < 50; ++i)
        clients.push_back(run.client(0, address(i)));
    for (auto& client : clients)
        ASSERT_EQ(client->startup().value(3), kStartupEnd) << run.story();

    auto refused = run.client(0, "127.0.4.1");
    ASSERT_TRUE(refused->connected()) << "accepted, then closed";
    const auto why = refused->nextLine(2s);
    EXPECT_EQ(why ? why->text : "", "MSG: Too many clients connected (50)");
    EXPECT_TRUE(refused->closedWithin(2s));

    ASSERT_TRUE(run.callAndWaitForCaller()) << run.story();
    const QByteArray cid = lastCallerCid(run.box);
    for (auto& client : clients)
        expectQuickCallLines(callLines(*client), cid);

    // One leaves; there is room again.
    ASSERT_TRUE(clients.back()->send("GOODBYE\n"));
    ASSERT_TRUE(clients.back()->closedWithin(3s));
    clients.pop_back();
    std::unique_ptr<NcidClient> next;
    EXPECT_TRUE(eventually([&] {
        next = run.client(0, address(49));
        return next->startup(3s).endsWith(kStartupEnd);
    }));
}

// ---- Settings -------------------------------------------------------------------

TEST(NcidSettings, APortInUseIsLoggedOnceCallsAreStillAnsweredAndItIsTakenOnceFree) {
    const quint16 port = freeLoopbackPort();
    auto holder = std::make_optional<PortHolder>(port);
    ASSERT_TRUE(holder->holding());
    NcidRun run(kQuickCalls,
                [port](Sandbox& box) { box.setValue("NCID", "Port", QString::number(port)); });
    ASSERT_TRUE(run.started) << run.story();
    ASSERT_TRUE(run.callAndWaitForCaller()) << run.story();
    const QList<QByteArray> lines = run.box.logLines();
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const QByteArray& l) { return l.startsWith("NCID server not started: "); }),
              1)
        << run.story();
    EXPECT_EQ(lines.count("CallerID: 0012345678"), 1);
    EXPECT_TRUE(run.app->running());

    holder.reset();
    const QByteArray started = "NCID server started on port " + QByteArray::number(port);
    ASSERT_TRUE(eventually([&] { return run.box.logLines().contains(started); }, 15s))
        << run.story();
    NcidClient client(port);
    EXPECT_EQ(client.startup().value(0).left(4), "200 ") << run.story();
}

constexpr quint16 kDefaultPort = 3333;

struct BadSetting {
    const char* name;
    QString key;
    QString value;
    QByteArray logLine;
    enum class Then { Off, Serves, ServesOnDefaultPort } then;
};

void PrintTo(const BadSetting& variant, std::ostream* out) {
    *out << variant.name;
}

class NcidBadSetting : public ::testing::TestWithParam<BadSetting> {};

TEST_P(NcidBadSetting, IsLoggedOnceAndItsDefaultUsed) {
    const BadSetting& bad = GetParam();
    using Then = BadSetting::Then;
    // Whether the default port can be checked: nobody else holds it.
    const bool defaultPortFree =
        bad.then == Then::ServesOnDefaultPort && PortHolder(kDefaultPort).holding();
    NcidRun run(kQuickCalls, [&bad](Sandbox& box) { box.setValue("NCID", bad.key, bad.value); });
    ASSERT_TRUE(run.started) << run.story();
    ASSERT_TRUE(eventually([&] { return run.box.logLines().contains(bad.logLine); }, 5s))
        << run.story();
    EXPECT_EQ(run.box.logLines().count(bad.logLine), 1);
    const QList<QByteArray> freshStartup = {kGreeting, kApi, kLogEmpty, kStartupEnd};
    switch (bad.then) {
    case Then::Off:
        // The server would have been listening before the init string went out.
        EXPECT_FALSE(NcidClient(run.port, 0ms).connected()) << "the server stays off";
        break;
    case Then::Serves:
        EXPECT_EQ(run.client()->startup(), freshStartup) << run.story();
        break;
    case Then::ServesOnDefaultPort:
        if (defaultPortFree) {
            EXPECT_EQ(NcidClient(kDefaultPort).startup(), freshStartup) << run.story();
        }
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NcidBadSetting,
    ::testing::Values(
        BadSetting{"Enabled", "Enabled", "yes", R"(NCID: bad Enabled "yes", 0 used)",
                   BadSetting::Then::Off},
        BadSetting{"Address", "Address", "999.1.1.1",
                   R"(NCID: bad Address "999.1.1.1", 127.0.0.1 used)", BadSetting::Then::Serves},
        BadSetting{"SendLog", "SendLog", "2", R"(NCID: bad SendLog "2", 1 used)",
                   BadSetting::Then::Serves},
        // One run only on the default port: two at once would take it from each other.
        BadSetting{"Port", "Port", "65536", R"(NCID: bad Port "65536", 3333 used)",
                   BadSetting::Then::ServesOnDefaultPort}),
    [](const ::testing::TestParamInfo<BadSetting>& info) { return info.param.name; });

} // namespace
} // namespace tarvik::e2e
