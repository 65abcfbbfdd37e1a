// TARVIK under GNOME Shell (with the AppIndicator extension, a tray, and plain)
// and KWin (Wayland and X11), while the user types into another program: a
// caller brings the window into view on top without taking the keyboard, keys
// typed on reach the other program only, a window minimised where there is no
// tray comes back for the caller and a notification names the caller, and the
// phone book opens above the main window with the focus. Pictures of what the
// user sees land in the build folder.
#include "desktop_session.h"
#include "e2e_support.h"

#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace tarvik::desktops {
namespace {

using namespace tarvik::e2e;

const QString kMainTitle = QStringLiteral("TARVIK [Courier TREVA 2.51+]");
const QString kPhoneBookTitle = QStringLiteral("Phone Book");

// A window's place on the screen, from xwininfo.
QRect placeOf(const DesktopSession& session, const QString& title) {
    const QString id =
        QString::fromLatin1(session
                                .runX("xdotool", {"search", "--onlyvisible", "--name",
                                                  "^" + QRegularExpression::escape(title) + "$"})
                                .split('\n')
                                .value(0));
    const QByteArray info = session.runX("xwininfo", {"-id", id});
    const auto field = [&info](const char* name) {
        const qsizetype at = info.indexOf(name);
        return at < 0 ? -1 : info.mid(at + qstrlen(name)).trimmed().split('\n').value(0).toInt();
    };
    return {field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"),
            field("Height:")};
}

// The session's notification calls, as dbus-monitor sees them pass.
class NotificationWatch {
public:
    explicit NotificationWatch(const QProcessEnvironment& session) {
        monitor_.setProcessEnvironment(session);
        monitor_.start("dbus-monitor",
                       {"--address", session.value("DBUS_SESSION_BUS_ADDRESS"),
                        "interface='org.freedesktop.Notifications',member='Notify'"});
        monitor_.waitForStarted();
    }
    ~NotificationWatch() {
        monitor_.terminate();
        monitor_.waitForFinished(3000);
    }
    bool saw(const QByteArray& text, milliseconds timeout) {
        return eventually(
            [&] {
                monitor_.waitForReadyRead(50);
                seen_ += monitor_.readAll();
                return seen_.contains(text);
            },
            timeout);
    }

private:
    QProcess monitor_;
    QByteArray seen_;
};

using Kind = DesktopSession::Kind;

class DesktopTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        const Kind kind = GetParam();
        const char* compositor = kind == Kind::KwinWayland ? "kwin_wayland"
                                 : kind == Kind::KwinX11   ? "kwin_x11"
                                                           : "gnome-shell";
        for (const char* tool :
             {compositor, "xdotool", "xwininfo", "xprop", "xlogo", "dbus-monitor"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (make desktop-deps)";
        session = DesktopSession::start(kind);
        ASSERT_EQ(session->failure().toStdString(), "");
        sim = std::make_unique<Simulator>(box, QStringList{});
    }

    DesktopSession::Window main() const { return session->window(kMainTitle); }
    bool shownOnTopOf(const QString& other) const {
        const QStringList order = session->stacking();
        return !main().hidden && order.indexOf(kMainTitle) > order.indexOf(other) &&
               order.contains(other);
    }
    // What the user sees, once the windows have painted and the banners shown.
    void picture(const char* what, milliseconds settle = 1s) {
        QThread::msleep(static_cast<unsigned long>(settle.count()));
        session->screenshot(
            QStringLiteral("%1/%2-%3.png").arg(TARVIK_TEST_OUTPUT_DIR, session->name(), what));
    }

    Sandbox box;
    std::unique_ptr<DesktopSession> session;
    std::unique_ptr<Simulator> sim;
};

TEST_P(DesktopTest, ACallerIsSeenWithoutTakingTheKeyboardAndThePhoneBookOpensAboveTheWindow) {
    Tarvik app(box, session->clientEnvironment());
    ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1", 30s).kind, "rx") << app.output().toStdString();
    const auto hidden = [this] { return main().title.isEmpty() || main().hidden; };
    if (session->hasTray()) {
        // GNOME's AppIndicator host: a click opens the icon's menu, a double
        // click runs its default item (show or hide the window). The icon in
        // the bar says the program has made its choice of the tray.
        ASSERT_TRUE(eventually([&] { return session->clickTrayIcon(1); }))
            << "the icon is in the top bar";
        EXPECT_TRUE(hidden()) << "it waits in the tray";
        // No event tells that the host opened the menu.
        QThread::msleep(800);
        EXPECT_TRUE(hidden()) << "a single click opens the menu only";
        session->type({"Escape"});
        ASSERT_TRUE(session->clickTrayIcon(2));
        EXPECT_TRUE(eventually([&] { return !hidden(); })) << "a double click shows the window";
        ASSERT_TRUE(session->clickTrayIcon(2));
        EXPECT_TRUE(eventually(hidden)) << "and the next one hides it";
    } else {
        ASSERT_TRUE(eventually([&] { return !main().title.isEmpty(); }, 15s))
            << "without a tray the window shows at start";
        ASSERT_TRUE(session->minimise(kMainTitle)) << "the user minimises it";
    }

    // The user types into another program.
    QProcess other;
    other.setProcessEnvironment(session->xEnvironment());
    other.start("xlogo", {"-geometry", "900x640+40+60"});
    ASSERT_TRUE(eventually([&] { return !session->window("xlogo").title.isEmpty(); }));
    ASSERT_TRUE(session->giveFocus("xlogo", {300, 300}))
        << "the user gives the other program the keyboard";

    NotificationWatch notifications(session->clientEnvironment());
    sim->command("call 12345678");
    EXPECT_TRUE(eventually([&] { return shownOnTopOf("xlogo"); }, 20s))
        << "the caller's window is in view on top: " << session->stacking().join(", ").toStdString()
        << describeRun(*sim, box, app);
    EXPECT_TRUE(session->window("xlogo").focused) << "the keyboard stays with the user";
    EXPECT_FALSE(main().focused);
    EXPECT_EQ(notifications.saw("Incoming call: 1234567", 3s), !session->hasTray())
        << "a notification names the caller where there is no tray";
    // Run as root, GNOME first shows its own warning banner, then ours.
    picture("caller", session->notifies() && !session->hasTray() ? 6s : 1s);

    // Typed on: the space bar would hand the call to the telephone set, p would
    // open the phone book.
    session->type({"space", "p", "space"});
    // No event tells that the keys reached the other program.
    QThread::msleep(800);
    EXPECT_EQ(sim->count("rx", "\\r"), 0) << "no key reached TARVIK";
    EXPECT_TRUE(session->window(kPhoneBookTitle).title.isEmpty());

    // The user gives the window the keyboard (a click on its status bar), then
    // opens the phone book.
    const QRect place = placeOf(*session, kMainTitle);
    ASSERT_FALSE(place.isEmpty());
    ASSERT_TRUE(session->giveFocus(kMainTitle, {place.center().x(), place.bottom() - 4}))
        << "the user gives TARVIK the keyboard, at the bottom of " << place.x() << ',' << place.y()
        << ' ' << place.width() << 'x' << place.height() << ": "
        << session->stacking().join(", ").toStdString();
    session->type({"p"});
    ASSERT_TRUE(eventually([&] { return session->window(kPhoneBookTitle).focused; }))
        << "the phone book opens with the keyboard";
    const QStringList order = session->stacking();
    const qsizetype mainAt = order.indexOf(kMainTitle);
    EXPECT_TRUE(mainAt >= 0 && order.indexOf(kPhoneBookTitle) > mainAt)
        << "and above the main window: " << order.join(", ").toStdString();
    picture("phone-book");
    session->type({"Escape"});
    EXPECT_TRUE(eventually([&] { return session->window(kPhoneBookTitle).title.isEmpty(); }));

    EXPECT_EQ(app.terminate(), 0);
    other.terminate();
    other.waitForFinished(3000);
}

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    static const char* const names[] = {"GnomeWithAppIndicator", "GnomePlain", "KwinWayland",
                                        "KwinX11"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopTest,
                         ::testing::Values(Kind::GnomeWithAppIndicator, Kind::GnomePlain,
                                           Kind::KwinWayland, Kind::KwinX11),
                         kindName);

} // namespace
} // namespace tarvik::desktops
