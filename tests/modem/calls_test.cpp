#include "call_bench.h"
#include "fake_main_view.h"
#include "scripted_modem.h"

#include "modem/dialing.h"
#include "modem/dialogue.h"
#include "modem/incoming_call.h"
#include "platform/errors.h"
#include "store/settings.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using testing::FakeSound;
using testing::RecordingEvents;
using testing::RecordingView;
using testing::ScriptedModem;

class CallsTest : public ::testing::Test, protected testing::CallBench {
protected:
    CallsTest() {
        settings.AnswerOnRing = 1;
        settings.AnswerStr = "AT+SR";
        settings.DialPrefix = "ATDP";
        settings.DigCol = 7;
        settings.SoundFile = "/sounds/ring.wav";
    }

    // The message of the error that answering raised, or empty.
    QString answerError() {
        try {
            calls.btnAnswerClick();
        } catch (const TarvikError& error) {
            return error.message();
        }
        return {};
    }

    // The time since `since` at which the program sent `text`, or -1.
    long sentAt(const QByteArray& text, std::uint32_t since) const {
        for (const auto& s : modem.sent)
            if (s.bytes == text) return static_cast<long>(s.at - since);
        return -1;
    }

    IncomingCalls calls{context, sound};
    Dialer dialer{context, calls};
};

TEST_F(CallsTest, OneRingIsAnsweredAfterTheGapWithTheTimeoutText) {
    const std::uint32_t start = modem.now;
    modem.arrive(0, "\r\nRING\r\n");
    calls.detectRing();

    EXPECT_EQ(sound.events, QStringList({"beep", "play:/sounds/ring.wav"}));
    EXPECT_EQ(view.statuses,
              QList<QByteArray>({"Incoming call, waiting...", "Incoming call, timeout."}));
    const long answeredAt = sentAt("AT+SR\r\n", start);
    EXPECT_GE(answeredAt, 600);
    EXPECT_LE(answeredAt, 700);
    EXPECT_TRUE(view.mainState.InCall);
    EXPECT_EQ(modem.now - start, static_cast<std::uint32_t>(answeredAt) + 3000 + 50);
    EXPECT_GE(modem.purges, 2);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(CallsTest, RingsCloseTogetherAreCountedUpToTheAnswerRing) {
    settings.AnswerOnRing = 3;
    modem.arrive(0, "RING\r\n");
    modem.arrive(300, "RING\r\n");
    modem.arrive(600, "RING\r\n");
    modem.arrive(900, "RING\r\n");
    calls.detectRing();
    EXPECT_EQ(view.statuses, QList<QByteArray>({"Incoming call, waiting...", "Incoming call (2).",
                                                "Incoming call (3)."}));
    EXPECT_EQ(sentAt("AT+SR\r\n", 0) >= 0, true);
    EXPECT_EQ(modem.sent.size(), 1);
}

TEST_F(CallsTest, RingsFarApartAreAnsweredOnTheFirstAfterATimeout) {
    settings.AnswerOnRing = 3;
    const std::uint32_t start = modem.now;
    modem.arrive(0, "RING\r\n");
    modem.arrive(5000, "RING\r\n");
    calls.detectRing();
    EXPECT_EQ(view.statuses.last(), "Incoming call, timeout.");
    EXPECT_LT(sentAt("AT+SR\r\n", start), 1000);
}

TEST_F(CallsTest, AnswerOnRingZeroIgnoresEveryRing) {
    settings.AnswerOnRing = 0;
    view.status = "before";
    modem.arrive(0, "RING\r\n");
    calls.detectRing();
    modem.arrive(0, "RING\r\n");
    calls.detectRing();
    EXPECT_EQ(log, QList<QByteArray>({"Incoming call, ignored.", "Incoming call, ignored."}));
    EXPECT_EQ(sound.events.size(), 4);
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_EQ(modem.purges, 0);
    EXPECT_TRUE(view.statuses.isEmpty());
}

TEST_F(CallsTest, RingsTheAnswerAndEachCallerAreToldAsTheyHappen) {
    settings.AnswerOnRing = 3;
    modem.onWrite = [this](const QByteArray& text) {
        if (text == "AT+SR\r\n")
            modem.arrive(200,
                         "CallerID: 0012345678\r\nCallerID: Unknown\r\nCallerID: 123?5\r\nOK\r\n");
    };
    modem.arrive(0, "RING\r\n");
    modem.arrive(300, "RING\r\n");
    modem.arrive(600, "RING\r\n");
    calls.detectRing();
    EXPECT_EQ(events.told, QList<QByteArray>({"ring 1", "ring 2", "ring 3", "caller 1234567",
                                              "caller ", "caller 123?", "answered"}));
    // Each caller is told right after its line is logged, before the display.
    EXPECT_EQ(log[0], "CallerID: 0012345678");
}

TEST_F(CallsTest, IgnoredRingsAreToldAsSuchAndATalkIsNot) {
    settings.AnswerOnRing = 0;
    modem.arrive(0, "RING\r\n");
    calls.detectRing();
    calls.btnTalkClick();
    EXPECT_EQ(events.told, QList<QByteArray>({"ring ignored"}));
}

TEST_F(CallsTest, ANegativeAnswerRingAnswersLikeOne) {
    settings.AnswerOnRing = -2;
    modem.arrive(0, "RING\r\n");
    calls.detectRing();
    EXPECT_EQ(modem.sent.size(), 1);
}

TEST_F(CallsTest, TheCallerIdLineIsLoggedShownAndOkEndsTheAnswer) {
    modem.onWrite = [this](const QByteArray& text) {
        if (text == "AT+SR\r\n") modem.arrive(200, "\r\nCallerID: 12345678\r\n\r\nOK\r\n");
    };
    modem.arrive(0, "RING\r\n");
    const std::uint32_t start = modem.now;
    calls.detectRing();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0], "CallerID: 12345678");
    EXPECT_EQ(log[1], CallerCategories()[8]);
    EXPECT_EQ(view.shownForCaller, 1);
    EXPECT_EQ(view.shown()[0], LedGlyph('o'));
    EXPECT_LT(modem.now - start, 1500u) << "the OK line ended the answer window";
}

TEST_F(CallsTest, ACallerTheScreenRejectsIsPutDownInsteadOfHeldAndNeverShown) {
    const testing::FakeScreen book;
    context.screen = &book;
    IncomingCalls screened{context, sound};
    const struct {
        QByteArray caller;
        bool onHookAnswered;
        QByteArray logged;
    } rows[] = {{"CallerID: 12345678", true, "Hung up: 1234567 BAD GUY"},
                {"CallerID: 12345678", false, "Hung up: 1234567 BAD GUY"},
                {"CallerID: Unknown", true, "Hung up: PRIVATE"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged.toStdString() + (row.onHookAnswered ? "" : ", ATH0 unanswered"));
        log.clear(), events.told.clear(), modem.sent.clear();
        view.shownForCaller = 0;
        int onHooks = 0;
        modem.onWrite = [&](const QByteArray& text) {
            if (text == "AT+SR\r\n")
                modem.arrive(200, "\r\n" + row.caller + "\r\n\r\nOK\r\n");
            else if (text != "ATH0\r\n" || ++onHooks > 1 || row.onHookAnswered)
                modem.arrive(20, "\r\nOK\r\n");
        };
        modem.arrive(0, "RING\r\n");
        screened.detectRing();
        EXPECT_EQ(modem.sentBytes(),
                  "AT+SR\r\nATH0\r\n" + QByteArray(row.onHookAnswered ? "" : "AT\r\nATH0\r\n"));
        EXPECT_EQ(log, QList<QByteArray>{row.logged}) << "nor the caller's line, nor its category";
        EXPECT_EQ(events.told,
                  (QList<QByteArray>{"ring 1", "hung up " + row.logged.mid(9), "answered"}));
        EXPECT_EQ(std::tuple(view.shownForCaller, view.mainState.InCall, view.status),
                  std::tuple(0, false, row.logged));
    }
}

TEST_F(CallsTest, TwoCallerIdLinesAreBothLoggedAndTheSecondStays) {
    modem.onWrite = [this](const QByteArray&) {
        modem.arrive(100, "CallerID: 11111111\r\nCallerID: 22222223\r\nOK\r\n");
    };
    calls.btnAnswerClick();
    EXPECT_EQ(log, QList<QByteArray>({"CallerID: 11111111", CallerCategories()[1],
                                      "CallerID: 22222223", CallerCategories()[3]}));
    EXPECT_EQ(view.shown()[8], LedGlyph('2'));
}

TEST_F(CallsTest, LowerCaseOkDoesNotEndTheAnswerWindow) {
    modem.onWrite = [this](const QByteArray&) { modem.arrive(100, "ok\r\n"); };
    calls.btnAnswerClick();
    // The window is tested after each line read, so it ends within one line budget after 3000 ms.
    const std::uint32_t answered = modem.sent[0].at;
    EXPECT_GE(modem.now - answered, 3000u + 50u);
    EXPECT_LE(modem.now - answered, 3000u + 600u + 50u);
}

TEST_F(CallsTest, ABadCategoryCharacterEndsTheSequenceWithAnError) {
    modem.onWrite = [this](const QByteArray&) {
        modem.arrive(100, "CallerID: 1234567A\r\nOK\r\n");
    };
    EXPECT_THROW(calls.btnAnswerClick(), TarvikError);
    EXPECT_EQ(log, QList<QByteArray>({"CallerID: 1234567A"}));
    EXPECT_TRUE(view.mainState.InCall);
}

TEST_F(CallsTest, AFailingLogHidesNoCallerAndIsRaisedOnceTheAnswerIsRead) {
    logFails = true;
    modem.onWrite = [this](const QByteArray&) {
        modem.arrive(100, "CallerID: 11111111\r\nCallerID: 22222223\r\nOK\r\nRING\r\n");
    };
    const std::uint32_t start = modem.now;
    EXPECT_EQ(answerError(), "I/O error: No space left on device");
    EXPECT_EQ(view.shownForCaller, 2);
    EXPECT_EQ(view.shown()[8], LedGlyph('2')) << "both callers shown, the second stays";
    EXPECT_EQ(log, QList<QByteArray>({"CallerID: 11111111", CallerCategories()[1],
                                      "CallerID: 22222223", CallerCategories()[3]}))
        << "each line is still tried";
    EXPECT_TRUE(view.mainState.InCall);
    EXPECT_LT(modem.now - start, 600u + 50u + 1000u) << "the OK line ended the answer";
    EXPECT_EQ(modem.InCount(), 0) << "the rest of the reply is purged";
}

TEST_F(CallsTest, AfterAFailingLogANumberThatCannotBeShownEndsTheAnswerWithTheLogsError) {
    logFails = true;
    modem.onWrite = [this](const QByteArray&) {
        modem.arrive(100, "CallerID: 1234567A\r\nCallerID: 22222223\r\nOK\r\n");
    };
    EXPECT_EQ(answerError(), "I/O error: No space left on device") << "the first error is told";
    EXPECT_EQ(view.shownForCaller, 1);
    EXPECT_EQ(view.shown()[0], LedGlyph('o')) << "the number was shown";
    EXPECT_EQ(log, QList<QByteArray>({"CallerID: 1234567A"}));
}

TEST_F(CallsTest, AnsweringWithTheModemClosedTakesAbout3700msAndLogsNothing) {
    modem.open = false;
    const std::uint32_t start = modem.now;
    calls.btnAnswerClick();
    EXPECT_EQ(modem.now - start, 600u + 50u + 3000u + 50u);
    EXPECT_TRUE(view.mainState.InCall);
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(view.statuses.last(), "Incoming call, timeout.");
}

TEST_F(CallsTest, RingDetectionNeedsFourBytesAndGivesUpAfterSilence) {
    modem.arrive(0, "RIN");
    calls.detectRing();
    EXPECT_TRUE(sound.events.isEmpty());
    EXPECT_EQ(modem.InCount(), 3);

    modem.arrive(0, "G\r\n");
    calls.detectRing();
    EXPECT_EQ(sound.events.size(), 2);

    // A stray line is consumed; the search ends 1600 ms after it.
    sound.events.clear();
    modem.arrive(0, "NO CARRIER\r\n");
    const std::uint32_t start = modem.now;
    calls.detectRing();
    EXPECT_TRUE(sound.events.isEmpty());
    EXPECT_EQ(modem.InCount(), 0);
    EXPECT_GE(modem.now - start, 1600u);
    EXPECT_LE(modem.now - start, 2200u);
}

TEST_F(CallsTest, TalkSendsOneCarriageReturnAndClearsTheCall) {
    view.mainState.InCall = true;
    const std::uint32_t start = modem.now;
    calls.pnDigitalLedClick();
    EXPECT_EQ(modem.sentBytes(), "\r");
    EXPECT_FALSE(view.mainState.InCall);
    EXPECT_EQ(view.status, "Waiting for a call...");
    EXPECT_EQ(modem.now - start, 150u);
    EXPECT_EQ(modem.purges, 1);

    calls.pnDigitalLedClick();
    EXPECT_EQ(modem.sentBytes(), "\r") << "a click without a call does nothing";

    modem.open = false;
    view.mainState.InCall = true;
    calls.btnTalkClick();
    EXPECT_EQ(modem.sentBytes(), "\r");
    EXPECT_FALSE(view.mainState.InCall);
}

// Dialing

class DialTest : public CallsTest {
protected:
    void keys(const QList<int>& tags) {
        for (int tag : tags)
            dialer.btnPhoneKeysClick(tag);
    }
    void replyToDial(const QByteArray& reply) {
        modem.onWrite = [this, reply](const QByteArray& text) {
            if (text.startsWith("ATD")) modem.arrive(300, "\r\n" + reply + "\r\n");
        };
    }
};

TEST_F(DialTest, TheKeypadKeepsNineDigits) {
    for (char d : QByteArray("12345678901"))
        dialer.btnPhoneKeysClick(digitKeyTag(d));
    EXPECT_EQ(view.mainState.DialedNumber, "123456789");
    EXPECT_EQ(view.shown()[0], LedGlyph('1'));
    EXPECT_EQ(view.shown()[8], LedGlyph('9'));
    EXPECT_EQ(view.repeatHint, "Dial");
}

TEST_F(DialTest, EraseAndResetOnAnEmptyNumberOnlySetTheHint) {
    keys({kTagErase});
    EXPECT_EQ(view.repeatHint, "ReDial");
    keys({50, kTagReset});
    EXPECT_EQ(view.mainState.DialedNumber, "");
    EXPECT_EQ(view.repeatHint, "ReDial");
    keys({50, 60, kTagErase});
    EXPECT_EQ(view.mainState.DialedNumber, "5");
}

TEST_F(DialTest, HashRecallsTheLastNumberAndTheNextHashDialsIt) {
    keys({kTagRepeat});
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_EQ(view.mainState.DialedNumber, "");

    settings.LastDialNum = "123";
    keys({kTagRepeat});
    EXPECT_EQ(view.mainState.DialedNumber, "123");
    EXPECT_EQ(view.repeatHint, "Dial");
    EXPECT_EQ(view.shown()[6], LedGlyph('1'));
    EXPECT_TRUE(modem.sent.isEmpty());

    replyToDial("BUSY");
    keys({kTagRepeat});
    EXPECT_EQ(modem.sentBytes(), "ATDP123\r\n");
    EXPECT_EQ(log.last(), "Outgoing call to \"123\":BUSY");
    EXPECT_EQ(view.status, "Outgoing call to \"123\":BUSY");
    EXPECT_FALSE(view.mainState.InCall);
}

TEST_F(DialTest, FlashDialsAsW) {
    replyToDial("OK");
    keys({kTagFlash, 10, kTagRepeat});
    EXPECT_EQ(modem.sentBytes(), "ATDPw1\r\n");
    EXPECT_EQ(settings.LastDialNum, "w1");
}

TEST_F(DialTest, EachFinalReplyEndsTheWaitAndNearMissesDoNot) {
    for (const QByteArray reply : {"OK", "NOCARRIER", "ERROR", "BUSY", "NO DIAL"}) {
        replyToDial(reply);
        view.mainState.DialedNumber = "1234";
        const std::uint32_t start = modem.now;
        dialer.DialNumber();
        EXPECT_EQ(log.last(), "Outgoing call to \"1234\":" + reply);
        EXPECT_LT(modem.now - start, 1000u) << reply.constData();
    }
    for (const QByteArray reply : {"ok", " OK", "OK ", "BUSY!"}) {
        replyToDial(reply);
        modem.message(5000, [this] { calls.btnTalkClick(); });
        const std::uint32_t start = modem.now;
        dialer.DialNumber();
        EXPECT_GE(modem.now - start, 5000u) << reply.constData();
        EXPECT_EQ(log.last(), "Outgoing call to \"1234\":");
    }
}

TEST_F(DialTest, TalkEndsASilentDialWithAnEmptyResult) {
    view.mainState.DialedNumber = "555";
    modem.message(2000, [this] {
        EXPECT_TRUE(view.mainState.InCall);
        EXPECT_EQ(view.status, "Outgoing call to \"555\"");
        calls.btnTalkClick();
    });
    dialer.DialNumber();
    EXPECT_EQ(log, QList<QByteArray>({"Outgoing call to \"555\":"}));
    EXPECT_EQ(view.status, "Outgoing call to \"555\":") << "replaces the waiting text of Talk";
    EXPECT_EQ(modem.sentBytes(), "ATDP555\r\n\r");
}

TEST_F(DialTest, ALongNumberFromThePhoneBookIsDialedWhole) {
    replyToDial("OK");
    view.mainState.DialedNumber = "123456789012";
    dialer.DialNumber();
    EXPECT_EQ(modem.sentBytes(), "ATDP123456789012\r\n");
}

TEST_F(DialTest, APhoneBookEntryIsDialedWholeAndKeepsTheKeypadState) {
    replyToDial("OK");
    settings.LastDialNum = "9";
    view.repeatHint = "Redial";
    keys({10, 20});
    const auto before = view.shown();
    view.repeatHint = "Redial";
    dialer.dialPhoneBookEntry("123456789012");
    EXPECT_EQ(modem.sentBytes(), "ATDP123456789012\r\n");
    EXPECT_EQ(view.mainState.DialedNumber, "123456789012");
    EXPECT_EQ(view.shown(), before) << "more than nine characters leave the digits as they were";
    EXPECT_EQ(settings.LastDialNum, "9");
    EXPECT_EQ(view.repeatHint, "Redial");
}

TEST_F(DialTest, ADialIsToldWhenItsStringHasGoneToTheModem) {
    replyToDial("BUSY");
    dialer.dialPhoneBookEntry("555*1");
    EXPECT_EQ(events.told, QList<QByteArray>({"dialing 555*1"}));
}

TEST_F(DialTest, NothingHappensWhenThePortIsClosedOrTheCommandDoesNotFit) {
    view.mainState.DialedNumber = "1";
    modem.open = false;
    dialer.DialNumber();
    modem.open = true;
    modem.outFree = 6;
    dialer.DialNumber();
    EXPECT_TRUE(modem.sent.isEmpty());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(view.statuses.isEmpty());
    EXPECT_FALSE(view.mainState.InCall);
    EXPECT_TRUE(events.told.isEmpty());
}

TEST_F(DialTest, KeysPressedDuringTheWaitDoNotChangeTheLoggedNumber) {
    replyToDial("OK");
    view.mainState.DialedNumber = "777";
    modem.message(100, [this] { dialer.btnPhoneKeysClick(10); });
    dialer.DialNumber();
    EXPECT_EQ(log.last(), "Outgoing call to \"777\":OK");
}

TEST_F(DialTest, TheKeyboardPressesKeysForSixtyMilliseconds) {
    const std::uint32_t start = modem.now;
    dialer.FormKeyPress('7');
    EXPECT_EQ(view.keyDowns, (QList<QPair<int, bool>>{{70, true}, {70, false}}));
    EXPECT_EQ(modem.now - start, 60u);
    dialer.FormKeyPress(8);
    EXPECT_EQ(view.mainState.DialedNumber, "");
    dialer.FormKeyPress('x');
    EXPECT_EQ(view.keyDowns.size(), 4);

    view.keyDowns.clear();
    dialer.FormKeyPress(27);
    EXPECT_TRUE(view.keyDowns.isEmpty()) << "Escape on an empty number presses nothing";
    dialer.FormKeyPress('3');
    dialer.FormKeyPress(27);
    EXPECT_EQ(view.keyDowns.mid(2),
              (QList<QPair<int, bool>>{{kTagReset, true}, {kTagReset, false}}));
}

TEST_F(DialTest, WithTheKeypadHiddenOnlyTheSpaceBarWorks) {
    view.keysVisible = false;
    dialer.FormKeyPress('5');
    dialer.FormKeyPress(8);
    EXPECT_EQ(view.mainState.DialedNumber, "");
    EXPECT_TRUE(view.keyDowns.isEmpty());

    settings.LastDialNum = "42";
    EXPECT_TRUE(dialer.FormKeyDown(32));
    EXPECT_EQ(view.mainState.DialedNumber, "42");
    EXPECT_FALSE(dialer.FormKeyDown(65));
}

TEST_F(DialTest, TheSpaceBarHandsOverDuringACall) {
    view.mainState.InCall = true;
    EXPECT_TRUE(dialer.FormKeyDown(32));
    EXPECT_EQ(modem.sentBytes(), "\r");
    EXPECT_FALSE(view.mainState.InCall);
}

} // namespace
} // namespace tarvik
