#include "scripted_modem.h"

#include "modem/dialogue.h"
#include "platform/tick.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using testing::ScriptedModem;

class DialogueTest : public ::testing::Test {
protected:
    ScriptedModem modem;
    ModemDialogue dialogue{&modem, modem};

    // Reads a line and tells how long it took on the modem's clock.
    std::pair<QByteArray, std::uint32_t> timedLine() {
        const std::uint32_t start = modem.now;
        QByteArray line = dialogue.ReadModemLine();
        return {line, modem.now - start};
    }
};

TEST_F(DialogueTest, LinesEndAtLineFeedOnly) {
    modem.arrive(0, "RING\r\n\r\nOK\r\n");
    modem.arrive(0, QByteArray("O\0K\n", 4));
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray("RING"), 0u));
    EXPECT_EQ(dialogue.ReadModemLine(), "");
    EXPECT_EQ(dialogue.ReadModemLine(), "OK");
    EXPECT_EQ(dialogue.ReadModemLine(), "OK") << "NUL dropped";
}

TEST_F(DialogueTest, ControlCharactersOtherThanCrAndNulStay) {
    modem.arrive(0, "A\tB\x1b\x7f\xff\n");
    EXPECT_EQ(dialogue.ReadModemLine(), "A\tB\x1b\x7f\xff");
}

TEST_F(DialogueTest, ALineWithoutLineFeedComesBackAfter600ms) {
    modem.arrive(0, "OK\r");
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray("OK"), 600u));
}

TEST_F(DialogueTest, NothingArrivingGivesAnEmptyLineAfter600ms) {
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray(), 600u));
    EXPECT_LT(modem.pumpCalls, 20) << "the wait sleeps instead of spinning";
}

TEST_F(DialogueTest, ALongLineComesIn255CharacterPieces) {
    modem.arrive(0, QByteArray(300, 'x') + "\n");
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray(255, 'x'), 0u));
    EXPECT_EQ(dialogue.ReadModemLine(), QByteArray(45, 'x'));
}

TEST_F(DialogueTest, ATricklingLineIsReturnedInTwoPieces) {
    modem.arrive(0, "Call");
    modem.arrive(400, "erID:");
    modem.arrive(700, " 1234567\n");
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray("CallerID:"), 600u));
    EXPECT_EQ(dialogue.ReadModemLine(), " 1234567");
}

TEST_F(DialogueTest, ModemCommandReturnsTheSecondLine) {
    modem.onWrite = [this](const QByteArray&) { modem.arrive(30, "\r\nOK\r\n"); };
    EXPECT_EQ(dialogue.ModemCommand("ATE0\r\n"), "OK");
    EXPECT_EQ(modem.sentBytes(), "ATE0\r\n");

    modem.onWrite = [this](const QByteArray&) { modem.arrive(10, "ATI\r\r\nERROR\r\n"); };
    EXPECT_EQ(dialogue.ModemCommand("ATI\r\n"), "ERROR") << "echo first, then the reply";
}

TEST_F(DialogueTest, ASilentModemCosts1200ms) {
    const std::uint32_t start = modem.now;
    EXPECT_EQ(dialogue.ModemCommand("ATM2+S64=1\r\n"), "");
    EXPECT_EQ(modem.now - start, 1200u);
}

TEST_F(DialogueTest, AClosedPortCostsNothingForACommandAndAFullLineBudgetForARead) {
    modem.open = false;
    const std::uint32_t start = modem.now;
    EXPECT_EQ(dialogue.ModemCommand("ATE0\r\n"), "");
    EXPECT_EQ(modem.now, start);
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_EQ(timedLine(), std::make_pair(QByteArray(), 600u));
}

TEST_F(DialogueTest, SendModemStringNeverSendsPartOfAText) {
    modem.outFree = 5;
    EXPECT_FALSE(dialogue.SendModemString("ATDP1\r"));
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_TRUE(dialogue.SendModemString("ATDP1"));
    EXPECT_TRUE(dialogue.SendModemString(""));
    EXPECT_EQ(modem.sentBytes(), "ATDP1");

    modem.outFree = 2048;
    EXPECT_TRUE(dialogue.SendModemString(QByteArray(300, 'A')));
    EXPECT_EQ(modem.sent.last().bytes, QByteArray(255, 'A'));
}

TEST_F(DialogueTest, MessagesAreProcessedDuringEveryWait) {
    int handled = 0;
    modem.message(100, [&handled] { ++handled; });
    modem.message(300, [&handled] { ++handled; });
    dialogue.PumpDelay(500);
    EXPECT_EQ(handled, 2);

    const std::uint32_t start = modem.now;
    dialogue.PumpDelay(0);
    EXPECT_EQ(modem.now, start);
}

TEST(TickWrap, AWrappedCounterEndsTheWait) {
    EXPECT_FALSE(tickIntervalPassed(100, 699, 600));
    EXPECT_TRUE(tickIntervalPassed(100, 700, 600));
    // As signed values the step from 0xFFFFFFFF to 0 is -1 to 0: time keeps counting.
    EXPECT_FALSE(tickIntervalPassed(0xFFFFFF00u, 0x10u, 600));
    EXPECT_TRUE(tickIntervalPassed(0xFFFFFF00u, 0x158u, 600));
    // The signed counter wraps from its largest value to its smallest: the wait ends.
    EXPECT_TRUE(tickIntervalPassed(0x7FFFFFF0u, 0x80000010u, 600));
}

TEST(TickWrap, AReadAcrossTheWrapEndsAtOnce) {
    ScriptedModem modem(0x7FFFFFF0u);
    modem.maxStep = 20;
    ModemDialogue dialogue(&modem, modem);
    EXPECT_EQ(dialogue.ReadModemLine(), "");
    EXPECT_EQ(modem.now, 0x80000004u) << "ended on the first pass after the wrap";
}

} // namespace
} // namespace tarvik
