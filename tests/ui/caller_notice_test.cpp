// A caller on a desktop where the window alone may not be seen: the session's
// notification service names the caller, one notification replaces the last,
// and a click on it brings the window. (That a tray sends none is checked under
// GNOME with its tray extension.)
#include "platform/desktop_notification.h"
#include "private_bus.h"
#include "store/settings.h"
#include "ui/tarvik_frm.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace tarvik {
namespace {

using namespace std::chrono_literals;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

struct Notified {
    uint replaces;
    QString summary, body;
    QStringList actions;
};

// The notification service as the desktop provides it, on the test's bus.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotificationService(QDBusConnection bus)
        : bus_(std::move(bus)) {
        bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
        registered = bus_.registerService(kService);
    }
    void click(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, "ActionInvoked");
        signal << id << action;
        bus_.send(signal);
    }

    bool registered = false;
    QList<Notified> notified;

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        notified.append({replaces, summary, body, actions});
        return replaces ? replaces : 41 + notified.size();
    }

private:
    QDBusConnection bus_;
};

class CallerNoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_FALSE(bus.address().isEmpty()) << "the private bus did not start";
        service = std::make_unique<FakeNotificationService>(connect("service"));
        ASSERT_TRUE(service->registered);
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        settings.DigCol = 8;
        form.setLogSink([](const QByteArray&) {});
        form.SetUpFromSettings(true);
        form.desktop().setCallerNotification(
            std::make_unique<DesktopNotification>(connect("program")));
    }
    ~CallerNoticeTest() override {
        // Named connections outlive their bus otherwise, and the next test would get them.
        for (const char* name : {"service", "program"})
            QDBusConnection::disconnectFromBus(QLatin1String(name));
    }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(bus.address(), name);
    }
    bool notifiedTimes(qsizetype count) {
        return QTest::qWaitFor([&] { return service->notified.size() >= count; }, 5000) &&
               service->notified.size() == count;
    }
    // The service answers on the program's connection after all it sent before,
    // and the program's events keep that order: by the answer it has had the rest.
    void caughtUp() {
        QDBusPendingCallWatcher ping(connect("program").asyncCall(
            QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Peer", "Ping")));
        ASSERT_TRUE(QSignalSpy(&ping, &QDBusPendingCallWatcher::finished).wait(5000));
    }

    testing::PrivateBus bus;
    std::unique_ptr<FakeNotificationService> service;
    QTemporaryDir config;
    SettingsRecord settings;
    TMainForm form{settings};
};

TEST_F(CallerNoticeTest, WithoutATrayEachCallerIsNamedAndAClickBringsTheWindow) {
    form.desktop().startTray([] { return false; }, 0ms);
    form.ShowCallerId("CallerID: 123456784");
    ASSERT_TRUE(notifiedTimes(1));
    const Notified first = service->notified.at(0);
    EXPECT_EQ(first.summary, "TARVIK");
    EXPECT_EQ(first.body, "Incoming call: 12345678");
    EXPECT_EQ(first.replaces, 0u);
    EXPECT_TRUE(first.actions.contains("default")) << "the click has an action";
    caughtUp(); // its id for the notification

    form.ShowCallerId("CallerID: Unknown");
    ASSERT_TRUE(notifiedTimes(2));
    EXPECT_EQ(service->notified.at(1).body, "Incoming call, no caller ID.");
    EXPECT_EQ(service->notified.at(1).replaces, 42u) << "the last caller's notice is replaced";

    form.SetWindowVisible(false);
    service->click(7, "default");
    service->click(42, "other");
    caughtUp();
    EXPECT_TRUE(form.isMinimized()) << "a notice of someone else, or another action";
    service->click(42, "default");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isVisible() && !form.isMinimized(); }, 5000));
    EXPECT_EQ(form.miOpenFullSize->text(), "Hide");
}

} // namespace
} // namespace tarvik

#include "caller_notice_test.moc"
