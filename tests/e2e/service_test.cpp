// The service tarvikd as a whole, against the modem simulator. The calls of the
// firmware kind run on the service in program_test and ncid_test.
#include "e2e_support.h"
#include "ncid_test_client.h"

#include "store/phonebook.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>

namespace tarvik::e2e {
namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether the program's standard error has this whole line, within `timeout`.
bool says(Tarvik& app, const QByteArray& line, milliseconds timeout = 10s) {
    return eventually([&] { return app.output().split('\n').contains(line); }, timeout);
}

// Whether the log has this line `times` times, within 10 s.
bool logs(const Sandbox& box, const QByteArray& line, int times = 1) {
    return eventually([&] { return box.logLines().count(line) == times; });
}

// The modem greeted with `greeting` and the start line logged.
bool started(const Simulator& sim, const Sandbox& box, const QByteArray& greeting) {
    return sim.waitFor("rx", greeting, 15s).kind == "rx" &&
           eventually([&] { return !box.logLines().isEmpty(); }, 10s);
}

TEST(Service, AReportedCallerIsLoggedAndToldTheBookReloadedAndTheConfigurationOnlyRead) {
    Sandbox box;
    const quint16 port = freeLoopbackPort();
    box.setParam("CidMode", "1");
    box.setValue("NCID", "Enabled", "1");
    box.setValue("NCID", "Port", QString::number(port));
    Simulator sim(box, {"--cid-kind", "spaced", "--number", "5551234567", "--rings", "1"});
    // The device itself; the other runs name the simulator's link.
    box.setParam("Device", QFileInfo(box.portLink()).canonicalFilePath());
    const QByteArray config = fileBytes(box.iniPath());
    const QDateTime modified = QFileInfo(box.iniPath()).lastModified();
    ASSERT_FALSE(config.isEmpty());

    Service app(box);
    ASSERT_TRUE(started(sim, box, "AT+VCID=1")) << describeRun(sim, box, app);
    EXPECT_TRUE(says(app, "<6>Phone book: 0 entries"));
    NcidClient client(port);
    ASSERT_EQ(client.startup().value(3), "300 End of connection startup");

    QFile book(box.programDir() + "phones.dat");
    ASSERT_TRUE(book.open(QIODevice::WriteOnly) &&
                book.write(encodePhoneRecord({"5551234567", "JOHN DOE", "", psGood})) ==
                    kPhoneRecordSize &&
                book.flush());
    ASSERT_EQ(::kill(static_cast<pid_t>(app.pid()), SIGHUP), 0);
    EXPECT_TRUE(says(app, "<6>Phone book: 1 entries")) << describeRun(sim, box, app);

    sim.command("call");
    const QList<QByteArray> told = client.linesUntil("CID:", 10s);
    ASSERT_FALSE(told.isEmpty());
    EXPECT_TRUE(told.last().endsWith("*NMBR*5551234567*MESG*NONE*NAME*JOHN DOE*"))
        << told.last().toStdString() << describeRun(sim, box, app);
    const QList<QByteArray> caller = {"NMBR = 5551234567", "NAME = JOHN DOE"};
    EXPECT_EQ(box.logLines().mid(1), caller) << "logged before it was told";
    EXPECT_TRUE(says(app, "<6>NMBR = 5551234567")) << "every log line goes to the journal";

    EXPECT_EQ(app.terminate(), 0) << describeRun(sim, box, app);
    EXPECT_TRUE(client.closedWithin(5s));
    EXPECT_EQ(box.logLines().mid(1), caller);
    EXPECT_EQ(fileBytes(box.iniPath()), config) << "the configuration was written";
    EXPECT_EQ(QFileInfo(box.iniPath()).lastModified(), modified);
    EXPECT_EQ(sim.count("rx", "AT+SR"), 0) << "the line is never taken";
}

TEST(Service, AStartThatCannotGoOnEndsWithItsStatusAndSaysWhy) {
    Sandbox box;
    box.setParam("CidMode", "0");
    const QString missing = box.path("missing.ini");
    struct BadStart {
        QStringList arguments;
        int status;
        QByteArray says;
    };
    const QList<BadStart> starts = {
        {{"--config", missing, "--state", box.programDir()},
         78,
         "<3>cannot read the configuration " + missing.toUtf8() + ": "},
        // Under a file, where no folder can be made.
        {{"--state", box.iniPath() + "/state", "--config", box.iniPath()},
         73,
         "<3>cannot make the state folder "},
        {{"--bogus"}, 64, R"(tarvikd: bad argument "--bogus")"},
        {{"--config"}, 64, R"(tarvikd: bad argument "--config")"},
    };
    for (const BadStart& start : starts) {
        SCOPED_TRACE(start.arguments.join(' ').toStdString());
        Service app(box, start.arguments);
        EXPECT_EQ(app.waitForExit(10s), start.status);
        EXPECT_TRUE(app.output().contains(start.says)) << app.output().toStdString();
    }
    EXPECT_FALSE(QFile::exists(box.logPath()));
}

TEST(Service, ABadSettingIsWarnedInTheJournalAndTheLogAndItsDefaultUsed) {
    Sandbox box;
    box.setParam("CidMode", "7");
    Simulator sim(box, {"--number", "12345678", "--rings", "1"});
    Service app(box);
    const QByteArray warning = R"(Settings: bad CidMode "7", 0 used)";
    ASSERT_TRUE(started(sim, box, "ATM2+S64=1")) << "the firmware kind's greeting";
    EXPECT_TRUE(says(app, "<4>" + warning)) << app.output().toStdString();
    EXPECT_EQ(box.logLines().count(warning), 1);
    sim.command("call");
    EXPECT_EQ(sim.waitFor("rx", "AT+SR").kind, "rx") << describeRun(sim, box, app);
    EXPECT_TRUE(logs(box, "CallerID: 12345678"));
    EXPECT_TRUE(app.running());
}

TEST(Service, AModemNotThereYetOrPulledOutIsWaitedForAndServesOnlyThisTarvik) {
    Sandbox box;
    Service app(box);
    EXPECT_TRUE(says(app, "<3>Error: at Init modem or Open COM-Port!"));
    Simulator sim(box, {"--number", "55512343", "--rings", "1"});
    const QByteArray back = "Modem is back, COM-Port opened";
    ASSERT_TRUE(logs(box, back)) << describeRun(sim, box, app);
    ASSERT_EQ(sim.count("rx", "ATM2+S64=1"), 1) << describeRun(sim, box, app);

    // Claimed before the modem was there, it still refuses the others, which name it.
    const QList<QByteArray> logged = box.logLines();
    const QByteArray holder =
        "the TARVIK service (tarvikd) (pid " + QByteArray::number(app.pid()) + ", user ";
    Service second(box);
    EXPECT_EQ(second.waitForExit(10s), 69);
    EXPECT_TRUE(second.output().contains("<3>the modem is in use by " + holder))
        << second.output().toStdString();
    Tarvik desktop(box);
    EXPECT_EQ(desktop.waitForExit(10s), 0);
    ASSERT_EQ(box.boxes().size(), 1);
    EXPECT_TRUE(box.boxes().first().startsWith("Error\tThe modem is in use by " + holder))
        << box.boxes().first().toStdString();
    EXPECT_EQ(sim.count("rx", "ATE0"), 1) << "the refused ones never touched the port";
    EXPECT_EQ(box.logLines(), logged) << "nor the log";

    sim.command("unplug");
    EXPECT_TRUE(says(app, "<4>Modem lost, waiting for it...")) << describeRun(sim, box, app);
    EXPECT_TRUE(box.logLines().contains("Modem lost, COM-Port closed"));
    ASSERT_TRUE(app.running());
    sim.command("plug");
    ASSERT_TRUE(logs(box, back, 2)) << describeRun(sim, box, app);
    EXPECT_EQ(sim.count("rx", "ATM2+S64=1"), 2) << "greeted again";
    sim.command("call");
    EXPECT_TRUE(logs(box, "CallerID: 55512343")) << describeRun(sim, box, app);
    EXPECT_EQ(app.terminate(), 0) << "it never ended on its own";
}

} // namespace
} // namespace tarvik::e2e
