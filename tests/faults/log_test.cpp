// The call log where it cannot be written: a full disk raises an I/O error that the
// default error report shows once a call's answer has been read, a log that cannot
// be created shows "Create Log-file!" for each line; either way calls are still
// answered and the settings still saved.
#include "e2e_support.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

const QString kReportCaption = QStringLiteral("TARVIK [Courier TREVA 2.51+]");

// A run with the log at `fnLog`: the start, calls, the close.
struct LogRun {
    explicit LogRun(const QString& fnLog, const QProcessEnvironment& env = {}) {
        box.setParam("fnLog", fnLog);
        sim = std::make_unique<Simulator>(box, QStringList{"--number", "12345678", "--rings", "1"});
        app = std::make_unique<Tarvik>(box, env);
        initialised = sim->waitFor("rx", "ATM2+S64=1", 15s).kind == "rx";
        // The start line is the last step of the start.
        started = eventually([this] { return !box.boxes().isEmpty(); }, 10s);
    }
    // A call once the start is over; true when it was answered and the report sent.
    bool call(const QByteArray& numbers = {}) {
        const int answers = sim->count("rx", "AT+SR"), oks = sim->count("tx", "OK");
        sim->command(numbers.isEmpty() ? "call" : "call " + numbers);
        return sim->waitFor("rx", "AT+SR", 10s, answers + 1).kind == "rx" &&
               !sim->waitFor("tx", "OK", 5s, oks + 1).kind.isEmpty();
    }
    // The program looks for a ring only once an answer is over (and purges what came
    // before its end): a call without a caller, so without a log line, that rings
    // until answered shows that all before it has been told.
    bool callerlessCall() {
        for (const QByteArray setting : {"callerid-lines 0", "rings 20", "gap 500ms"})
            sim->command(setting);
        return call();
    }
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool initialised = false;
    bool started = false;
};

TEST(LogOnAFullDisk, EachCallsFailureIsOneIOErrorReportAndTheProgramGoesOn) {
    LogRun run("/dev/full");
    ASSERT_TRUE(run.initialised);
    ASSERT_TRUE(run.started) << "the start line's error was reported";
    const QString startReport = run.box.boxes().value(0);
    EXPECT_TRUE(startReport.startsWith(kReportCaption + "\tI/O error: "))
        << startReport.toStdString();
    EXPECT_TRUE(startReport.endsWith('.'));
    EXPECT_TRUE(run.app->running());

    // Two callers in one report: neither line nor category can be logged.
    ASSERT_TRUE(run.call("12345678,55512343"));
    ASSERT_TRUE(run.callerlessCall()) << "answered again after the log's failure";
    const QStringList boxes = run.box.boxes();
    ASSERT_EQ(boxes.size(), 2) << "one report for the call: " << boxes.join('|').toStdString();
    EXPECT_TRUE(boxes.last().startsWith(kReportCaption + "\tI/O error: "));

    EXPECT_EQ(run.app->terminate(), 0);
    EXPECT_EQ(run.box.boxes().size(), 2);
    EXPECT_EQ(run.box.param("fnLog"), "/dev/full");
    EXPECT_EQ(run.box.param("Baud"), "9600");
}

TEST(LogThatCannotBeCreated, EachLineShowsTheBoxAndNothingElseIsLost) {
    Sandbox folders;
    const QString missing = folders.path("no/such/folder/tarvik.log");
    LogRun run(missing);
    ASSERT_TRUE(run.initialised);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.box.boxes(), QStringList{"Error\tCreate Log-file!"});

    ASSERT_TRUE(run.call());
    ASSERT_TRUE(run.callerlessCall());
    // The caller's line and its category: one box each.
    EXPECT_EQ(run.box.boxes(), QStringList(3, "Error\tCreate Log-file!"));
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(run.app->terminate(), 0);
    EXPECT_EQ(run.box.param("fnLog"), missing);
    EXPECT_EQ(run.box.param("Baud"), "9600") << "the settings were saved at the end";
}

} // namespace
} // namespace tarvik::e2e
