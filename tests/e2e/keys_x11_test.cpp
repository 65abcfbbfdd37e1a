// Keyboard and mouse on the real program, on a private X server without a tray:
// the main window shows at start, and keys typed into it dial and hand over.
#include "e2e_support.h"
#include "x11_support.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

const QString kMainTitle = QStringLiteral("^TARVIK \\[Courier TREVA 2\\.51\\+\\]$");

class KeysTest : public ::testing::Test {
protected:
    void start(QStringList simArgs, std::function<void(Sandbox&)> setUp = {}) {
        if (!x.started()) GTEST_SKIP() << "Xvfb is not available";
        if (setUp) setUp(box);
        sim = std::make_unique<Simulator>(box, simArgs);
        QProcessEnvironment env = modemTrace();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", x.display());
        app = std::make_unique<Tarvik>(box, env);
        ASSERT_EQ(sim->waitFor("rx", "ATM2+S64=1").kind, "rx");
        window = x.findWindow(kMainTitle, 15000);
        ASSERT_FALSE(window.isEmpty()) << "without a tray the window shows at start";
        x.xdotool({"windowfocus", "--sync", window});
    }
    void type(const QStringList& keys) { x.xdotool(QStringList{"key", "--delay", "120"} + keys); }
    static bool isDial(const TranscriptEntry& e) {
        return e.kind == "rx" && e.text.startsWith("ATDP");
    }

    XServer x;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    QString window;
};

TEST_F(KeysTest, TypedDigitsAndTheSpaceBarDialAndTheResultIsLogged) {
    start({"--dial-result", "BUSY", "--dial-delay", "300ms"});
    type({"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "space"});
    const auto dial = sim->waitFor(isDial);
    EXPECT_EQ(dial.text, "ATDP123456789\\r\\n") << "eleven digits typed, nine kept";
    ASSERT_TRUE(eventually([this] { return box.logLines().size() >= 2; }));
    EXPECT_EQ(box.logLines().last(), "Outgoing call to \"123456789\":BUSY");

    // A changed last number survives a restart.
    EXPECT_EQ(app->terminate(), 0);
    EXPECT_EQ(box.param("LastDialNum"), "123456789");
}

TEST_F(KeysTest, EachFinalReplyEndsTheDialAndNearMissesWaitForTalk) {
    start({"--dial-delay", "200ms"});
    int logged = 1;
    for (const char* reply : {"OK", "NOCARRIER", "ERROR", "NO DIAL"}) {
        sim->command(QByteArray("dial-result ") + reply);
        type({"BackSpace", "5", "space"});
        ASSERT_TRUE(eventually([&] { return box.logLines().size() > logged; }, 5s)) << reply;
        ++logged;
        EXPECT_EQ(box.logLines().last(), QByteArray("Outgoing call to \"5\":") + reply);
    }
    // "ok" is not a final reply: the wait goes on until Talk (the space bar while in a call).
    sim->command("dial-result ok");
    type({"space"});
    ASSERT_EQ(sim->waitFor(isDial, 5s, 5).kind, "rx");
    ASSERT_TRUE(eventually([this] { return app->readSince("ATDP5", "ok"); }, 5s));
    type({"space"});
    ASSERT_TRUE(eventually([&] { return box.logLines().size() > logged; }, 5s));
    EXPECT_EQ(box.logLines().mid(logged), QList<QByteArray>{"Outgoing call to \"5\":"})
        << "still waiting after the ok";
    EXPECT_GE(sim->count("rx", "\\r"), 1) << "Talk sent its carriage return";
}

TEST_F(KeysTest, TalkAfterAnAnsweredCallSendsOneCarriageReturn) {
    start({"--number", "12345678", "--rings", "1"});
    sim->command("call");
    ASSERT_EQ(sim->waitFor("rx", "AT+SR").kind, "rx");
    ASSERT_TRUE(eventually([this] { return box.logLines().size() >= 3; }));
    ASSERT_TRUE(eventually([this] { return app->readSince("AT+SR", "OK"); }))
        << "the OK ending the answer";
    type({"space"});
    const auto handover =
        sim->waitFor([](const TranscriptEntry& e) { return e.kind == "rx" && e.text == "\\r"; });
    EXPECT_EQ(handover.kind, "rx");
    // A key after the space: once it has opened the phone book, the space is all served.
    type({"p"});
    ASSERT_FALSE(x.findWindow("^Phone Book$").isEmpty());
    EXPECT_EQ(sim->count("rx", "\\r"), 1);
    EXPECT_EQ(sim->count("rx", "ATD"), 0) << "the space bar handed over instead of dialing";
}

} // namespace
} // namespace tarvik::e2e

namespace tarvik::e2e {
namespace {

TEST_F(KeysTest, AnEntryAddedInThePhoneBookSurvivesTheProgramsEnd) {
    start({});
    type({"p"});
    const QString book = x.findWindow("^Phone Book$");
    ASSERT_FALSE(book.isEmpty()) << "p opens the phone book";
    // A click on "&Add", the top key of the panel at the window's right edge.
    const QString width =
        x.xdotool({"getwindowgeometry", "--shell", book}).section("WIDTH=", 1).section('\n', 0, 0);
    ASSERT_FALSE(width.isEmpty());
    x.xdotool(
        {"mousemove", "--window", book, QString::number(width.toInt() - 42), "20", "click", "1"});
    const QString entry = x.findWindow("^Add phone item\\.\\.\\.$");
    ASSERT_FALSE(entry.isEmpty());
    x.xdotool({"windowfocus", "--sync", entry});
    x.xdotool({"type", "--delay", "60", "5551234"});
    type({"Return"});
    ASSERT_TRUE(
        eventually([this] { return x.findWindow("^Add phone item\\.\\.\\.$", 100).isEmpty(); }));

    // Ended from outside with the phone book still open: the entry is saved.
    EXPECT_EQ(app->terminate(), 0);
    QFile phones(box.programDir() + "phones.dat");
    ASSERT_TRUE(phones.open(QIODevice::ReadOnly));
    const QByteArray record = phones.readAll();
    ASSERT_EQ(record.size(), 168);
    EXPECT_EQ(record.mid(0, 8), QByteArray("\x07"
                                           "5551234"));
    EXPECT_EQ(record.mid(164, 4), QByteArray("\x01\0\0\0", 4)) << "NORMAL by default";
}

} // namespace
} // namespace tarvik::e2e
