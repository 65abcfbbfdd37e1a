// Clicks on the tray icon as the two kinds of tray deliver them. A
// StatusNotifierItem host (KDE Plasma; GNOME with the AppIndicator extension)
// gets the icon over the session bus and sends one activation for a click,
// never a double click: that activation runs the menu's default item. An
// XEmbed tray (trayer) sends the activation on every single click and a double
// click besides: there only the double click runs it.
#include "desktop_support.h"
#include "private_bus.h"

#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

// The tray host: the test helper that owns org.kde.StatusNotifierWatcher.
class NotifierHost {
public:
    explicit NotifierHost(const tarvik::testing::PrivateBus& bus) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        helper_.setProcessEnvironment(env);
        helper_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper_.start(SNI_WATCHER_BINARY, {});
        ready_ = !waitForLine("ready", 10s).isEmpty();
    }
    ~NotifierHost() {
        helper_.closeWriteChannel();
        if (!helper_.waitForFinished(3000)) helper_.kill();
        helper_.waitForFinished(1000);
    }
    bool ready() const { return ready_; }

    // The item the program registered: "SERVICE PATH", or "" on timeout.
    QString item(milliseconds timeout = 15s) { return waitForLine("registered ", timeout).mid(11); }
    // The registered item's title, which the host shows as its tooltip.
    QString title() { return waitForLine("title ", 10s, "error").mid(6); }
    // A left click on the icon, as the host passes it on; true when the item
    // took the call.
    bool activate() {
        helper_.write("activate\n");
        helper_.waitForBytesWritten(1000);
        return waitForLine("activated", 10s, "error") == "activated";
    }
    QStringList lines() const { return lines_; }

private:
    // The next line that starts with `wanted` (or with `failure`); "" on timeout.
    QString waitForLine(const QString& wanted, milliseconds timeout, const QString& failure = {}) {
        QString found;
        eventually(
            [&] {
                helper_.waitForReadyRead(50);
                while (helper_.canReadLine()) {
                    const QString line = QString::fromUtf8(helper_.readLine().trimmed());
                    lines_ << line;
                    if (line.startsWith(wanted) || (!failure.isEmpty() && line.startsWith(failure)))
                        found = line;
                    if (!found.isEmpty()) return true;
                }
                return false;
            },
            timeout);
        return found;
    }

    QProcess helper_;
    bool ready_ = false;
    QStringList lines_;
};

QString joined(const QStringList& lines) {
    return lines.join(" | ");
}

class TrayClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
        ASSERT_FALSE(QStandardPaths::findExecutable("xdotool").isEmpty());
    }

    // The program on the X server, with the session bus given (or none).
    void start(int trayDblCl, const QString& busAddress) {
        box.setParam("TrayDblCl", QString::number(trayDblCl));
        sim = std::make_unique<Simulator>(box, QStringList{});
        QProcessEnvironment env = xTrayEnvironment(x, box);
        if (!busAddress.isEmpty()) env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        app = std::make_unique<Tarvik>(box, env);
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 20s).kind, "rx");
    }

    bool mainWindowShown(int timeoutMs) {
        return !x.findWindow(kMainWindowTitle, timeoutMs).isEmpty();
    }
    bool mainWindowGone() {
        return eventually([this] { return x.findWindow(kMainWindowTitle, 0).isEmpty(); });
    }

    XServer x;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
};

class StatusNotifierTest : public TrayClickTest {
protected:
    void SetUp() override {
        TrayClickTest::SetUp();
        if (IsSkipped()) return;
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_FALSE(bus.address().isEmpty()) << "the session bus did not start";
        host = std::make_unique<NotifierHost>(bus);
        ASSERT_TRUE(host->ready()) << joined(host->lines()).toStdString();
    }

    void startWithHost(int trayDblCl) {
        start(trayDblCl, bus.address());
        const QString item = host->item();
        ASSERT_FALSE(item.isEmpty())
            << "the icon registers with the host: " << joined(host->lines()).toStdString();
        EXPECT_TRUE(item.endsWith(" /StatusNotifierItem")) << item.toStdString();
        EXPECT_EQ(host->title(), "TARVIK") << "the tooltip a host shows";
    }

    tarvik::testing::PrivateBus bus;
    std::unique_ptr<NotifierHost> host;
};

TEST_F(StatusNotifierTest, WithTrayDblCl0AnActivationShowsAndHidesTheWindow) {
    startWithHost(0);
    EXPECT_FALSE(mainWindowShown(1500)) << "the program waits in the tray";
    ASSERT_TRUE(host->activate()) << joined(host->lines()).toStdString();
    EXPECT_TRUE(mainWindowShown(10000)) << "a click on the icon shows the window";
    ASSERT_TRUE(host->activate());
    EXPECT_TRUE(mainWindowGone()) << "the next click hides it again";
    EXPECT_EQ(sim->count("ev", "port closed"), 0);
    EXPECT_EQ(app->terminate(), 0);
}

TEST_F(StatusNotifierTest, WithTrayDblCl1AnActivationSwitchesThePort) {
    startWithHost(1);
    ASSERT_TRUE(host->activate());
    EXPECT_EQ(sim->waitFor("ev", "port closed").kind, "ev") << "a click closes the port";
    ASSERT_TRUE(host->activate());
    EXPECT_EQ(sim->waitFor("ev", "port opened", 10s, 2).kind, "ev") << "the next opens it";
    EXPECT_FALSE(mainWindowShown(500));
    EXPECT_EQ(app->terminate(), 0);
}

TEST_F(TrayClickTest, OnAnXEmbedTrayOnlyADoubleClickRunsTheDefaultItem) {
    ASSERT_FALSE(QStandardPaths::findExecutable("trayer").isEmpty());
    const TrayHost tray(x);
    ASSERT_TRUE(tray.started()) << "trayer did not open its panel";
    start(0, {});
    const QString icon = tray.icon("tarvik");
    ASSERT_FALSE(icon.isEmpty()) << "the icon is not embedded in the tray";
    const QPoint middle = screenRect(x, icon).center();
    x.xdotool({"mousemove", QString::number(middle.x()), QString::number(middle.y())});

    x.xdotool({"click", "1"});
    EXPECT_FALSE(mainWindowShown(1500)) << "a single click does nothing";
    x.xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(mainWindowShown(10000)) << "a double click shows the window";
    EXPECT_EQ(app->terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
