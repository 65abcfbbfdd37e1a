// The program in a Wayland session. Where Xwayland is there and the user has
// chosen no platform, it runs through the X11 platform, where it can stay on
// top, keep its placements and raise itself for a caller; a user who asks for
// native Wayland gets it. The session is weston on its headless back end with
// Xwayland, as on a desktop.
#include "e2e_support.h"
#include "shell/platform_choice.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarvik::e2e {
namespace {

TEST(PlatformChoice, XcbOnlyInAWaylandSessionWithXwaylandAndNoChoiceMade) {
    struct Case {
        QHash<QByteArray, QByteArray> environment;
        QByteArray platform;
    };
    const Case cases[] = {
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}}, "xcb;wayland"},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, "xcb;wayland"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"QT_QPA_PLATFORM", ""}},
         "xcb;wayland"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"QT_QPA_PLATFORM", "wayland"}}, ""},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
        {{{"DISPLAY", ":1"}, {"XDG_SESSION_TYPE", "x11"}}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QByteArrayList(c.environment.keys()).join(' ').toStdString());
        const auto lookup = [&c](const char* name) { return c.environment.value(name); };
        EXPECT_EQ(preferredPlatform(lookup), c.platform);
    }
}

// weston on its headless back end with Xwayland, in a private runtime folder.
class WaylandSession {
public:
    WaylandSession() {
        // Xwayland's socket goes where every X server's does; weston needs the folder.
        if (!QDir("/tmp/.X11-unix").exists() && QDir().mkpath("/tmp/.X11-unix"))
            ::chmod("/tmp/.X11-unix", 01777);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        weston_.setProcessEnvironment(env);
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        weston_.setStandardOutputFile(QProcess::nullDevice());
        weston_.start("weston",
                      {"--backend=headless-backend.so", "--xwayland", "--idle-time=0",
                       "--socket=tarvik-test", "--log=" + runtime_.filePath("weston.log")});
        if (!weston_.waitForStarted(5000)) return;
        static const QRegularExpression listening(R"(xserver listening on display (:\d+))");
        eventually(
            [this] {
                const auto match = listening.match(log());
                if (match.hasMatch() && QFile::exists(socket())) display_ = match.captured(1);
                return started() || weston_.state() == QProcess::NotRunning;
            },
            20s);
    }
    ~WaylandSession() {
        weston_.terminate();
        if (!weston_.waitForFinished(5000)) weston_.kill();
        weston_.waitForFinished(1000);
    }
    bool started() const { return !display_.isEmpty(); }
    QString socket() const { return runtime_.filePath("tarvik-test"); }
    QString xDisplay() const { return display_; }
    QString log() const {
        QFile file(runtime_.filePath("weston.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // What a desktop session sets; the platform is left to the caller.
    QProcessEnvironment clientEnvironment(const QString& platform) const {
        QProcessEnvironment env;
        env.insert("WAYLAND_DISPLAY", socket());
        env.insert("DISPLAY", display_);
        env.insert("XDG_SESSION_TYPE", "wayland");
        // Qt reads an empty variable as an unset one.
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        return env;
    }

    // The main window on the Xwayland display, or "".
    QString mainWindowOnX(milliseconds timeout) const {
        QString id;
        eventually(
            [&] {
                QProcess tool;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("DISPLAY", display_);
                tool.setProcessEnvironment(env);
                tool.start("xdotool", {"search", "--onlyvisible", "--name", kMainTitle});
                tool.waitForFinished(10000);
                id = QString::fromLatin1(tool.readAllStandardOutput()).section('\n', 0, 0);
                return !id.isEmpty();
            },
            timeout);
        return id;
    }

private:
    static inline const QString kMainTitle =
        QStringLiteral("^TARVIK \\[Courier TREVA 2\\.51\\+\\]$");
    QTemporaryDir runtime_;
    QProcess weston_;
    QString display_;
};

class WaylandTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"weston", "Xwayland", "xdotool"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        session = std::make_unique<WaylandSession>();
        ASSERT_TRUE(session->started()) << "weston with Xwayland did not start:\n"
                                        << session->log().toStdString();
    }

    // `xDisplay`, when given, stands for the session's X display.
    void start(const QString& platform, const QString& xDisplay = {}) {
        sim = std::make_unique<Simulator>(box, QStringList{});
        QProcessEnvironment environment = session->clientEnvironment(platform);
        if (!xDisplay.isEmpty()) environment.insert("DISPLAY", xDisplay);
        // Native Wayland loads the system's graphics drivers, which may leave a buffer behind
        // in a module they have already unloaded: a report no suppression can name. The same
        // program code is leak-checked by every other whole-program run.
        const bool nativeWayland = platform == QLatin1String("wayland") || !xDisplay.isEmpty();
        if (nativeWayland && qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            environment.insert("ASAN_OPTIONS",
                               qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0");
        app = std::make_unique<Tarvik>(box, environment);
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 30s).kind, "rx") << app->output().toStdString();
    }

    // A caller, so the window comes up wherever the program draws it.
    void call() {
        sim->command("call 12345678");
        ASSERT_TRUE(eventually([this] { return box.log().contains("CallerID:"); }, 20s))
            << app->output().toStdString();
    }

    std::unique_ptr<WaylandSession> session;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
};

TEST_F(WaylandTest, WithNoPlatformChosenTheProgramRunsThroughXwayland) {
    start("");
    call();
    EXPECT_FALSE(session->mainWindowOnX(15s).isEmpty()) << "the caller's window is an X window\n"
                                                        << app->output().toStdString();
    EXPECT_EQ(app->terminate(), 0);
}

TEST_F(WaylandTest, NativeWaylandChosenByTheUserStillStarts) {
    start("wayland");
    call();
    EXPECT_TRUE(session->mainWindowOnX(2s).isEmpty()) << "the window is a Wayland surface";
    EXPECT_TRUE(app->running());
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

TEST_F(WaylandTest, AnXServerThatRefusesLeavesNativeWaylandAndTheProgramSaysSo) {
    // No X server answers on this display, as Xwayland refuses a program without XAUTHORITY.
    start("", ":987");
    EXPECT_TRUE(eventually(
        [this] { return app->output().contains("running as a native Wayland program"); }, 10s))
        << app->output().toStdString();
    EXPECT_TRUE(app->running());
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

} // namespace
} // namespace tarvik::e2e
