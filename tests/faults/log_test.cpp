// The call log where it cannot be written: a full disk raises an I/O error that the
// default error report shows, a log that cannot be created shows "Create Log-file!"
// for each line; either way calls are still answered and the settings still saved.
#include "e2e_support.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

const QString kReportCaption = QStringLiteral("TARVIK [Courier TREVA 2.51+]");

// A run with the log at `fnLog`: the start, one call, the close.
struct LogRun {
    explicit LogRun(const QString& fnLog, const QProcessEnvironment& env = {}) {
        box.setParam("fnLog", fnLog);
        sim = std::make_unique<Simulator>(box, QStringList{"--number", "12345678", "--rings", "1"});
        app = std::make_unique<Tarvik>(box, env);
        initialised = sim->waitFor("rx", "ATM2+S64=1", 15s).kind == "rx";
        // The start line is the last step of the start.
        started = eventually([this] { return !box.boxes().isEmpty(); }, 10s);
    }
    // A call once the start is over; true when it was answered.
    bool call() {
        sim->command("call");
        return sim->waitFor("rx", "AT+SR", 10s).kind == "rx" &&
               !sim->waitFor("tx", "OK", 5s, 3).kind.isEmpty();
    }
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    bool initialised = false;
    bool started = false;
};

TEST(LogOnAFullDisk, EachLineIsAnIOErrorReportAndTheProgramGoesOn) {
    LogRun run("/dev/full");
    ASSERT_TRUE(run.initialised);
    ASSERT_TRUE(run.started) << "the start line's error was reported";
    const QString startReport = run.box.boxes().value(0);
    EXPECT_TRUE(startReport.startsWith(kReportCaption + "\tI/O error: "))
        << startReport.toStdString();
    EXPECT_TRUE(startReport.endsWith('.'));
    EXPECT_TRUE(run.app->running());

    ASSERT_TRUE(run.call()) << "answered although the log cannot take the caller's line";
    ASSERT_TRUE(eventually([&run] { return run.box.boxes().size() >= 2; }, 10s));
    EXPECT_TRUE(run.box.boxes().last().startsWith(kReportCaption + "\tI/O error: "));
    QThread::msleep(500);
    EXPECT_EQ(run.box.boxes().size(), 2) << "the caller's line ends the sequence: no category";

    // The next call is answered too, and the close saves the settings.
    run.sim->command("call 55512343");
    EXPECT_EQ(run.sim->waitFor("rx", "AT+SR", 10s, 2).kind, "rx");
    EXPECT_EQ(run.app->terminate(), 0);
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
    // The caller's line and its category: one box each, and the display still changed.
    ASSERT_TRUE(eventually([&run] { return run.box.boxes().size() >= 3; }, 10s));
    QThread::msleep(500);
    EXPECT_EQ(run.box.boxes(), QStringList(3, "Error\tCreate Log-file!"));
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(run.app->terminate(), 0);
    EXPECT_EQ(run.box.param("fnLog"), missing);
    EXPECT_EQ(run.box.param("Baud"), "9600") << "the settings were saved at the end";
}

} // namespace
} // namespace tarvik::e2e
