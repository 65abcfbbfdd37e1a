// A modem that vanishes and comes back: the loss is told once, the device is
// looked for about once a second, and the port is opened and the modem greeted
// again only when it is there and no other dialogue runs.
#include "modem/modem_recovery.h"

#include "fake_main_view.h"
#include "modem/incoming_call.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

class FakePort final : public RecoverablePort {
public:
    bool open = true;
    bool lost = false;
    bool present = true;
    bool opensWhenAsked = true;
    int presenceLooks = 0;
    int reopens = 0;

    bool isOpen() const override { return open; }
    bool deviceLost() const override { return lost; }
    bool devicePresent() const override {
        ++const_cast<FakePort*>(this)->presenceLooks;
        return present;
    }
    bool reopen() override {
        ++reopens;
        open = opensWhenAsked;
        lost = false;
        return open;
    }
    void close() override {
        open = false;
        lost = false;
    }
};

class ModemRecoveryTest : public ::testing::Test {
protected:
    testing::FakeMainView view;
    FakePort port;
    QList<bool> portStates;
    QList<QByteArray> log;
    int inits = 0;
    bool initAnswers = true;
    std::function<void()> duringInit;
    ModemRecovery recovery{port,
                           {view, [this](bool open) { portStates.append(open); },
                            [this] {
                                ++inits;
                                if (duringInit) duringInit();
                                return initAnswers;
                            },
                            [this](const QByteArray& line) { log.append(line); }}};

    void polls(int count, bool insideWait = false) {
        for (int i = 0; i < count; ++i)
            recovery.poll(insideWait);
    }
    void loseTheDevice() {
        port.lost = true;
        port.present = false;
        polls(1);
    }
};

TEST_F(ModemRecoveryTest, ALostDeviceClosesThePortAndIsToldOnceAlsoInsideAWait) {
    polls(10);
    EXPECT_TRUE(log.isEmpty()) << "a working port is left alone";

    port.lost = true;
    port.present = false;
    recovery.poll(/*insideModemWait=*/true);
    EXPECT_FALSE(port.open);
    EXPECT_EQ(portStates, QList<bool>{false});
    EXPECT_EQ(view.status, kModemLostStatus);
    EXPECT_EQ(log, QList<QByteArray>{kModemLostLog});

    polls(40);
    EXPECT_EQ(log.size(), 1) << "told once";
    EXPECT_EQ(port.presenceLooks, 10) << "about once a second";
    EXPECT_EQ(port.reopens, 0);
}

TEST_F(ModemRecoveryTest, TheDeviceBackIsOpenedGreetedAndLogged) {
    loseTheDevice();
    port.present = true;
    polls(ModemRecovery::kPollsPerLook);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(portStates, (QList<bool>{false, true}));
    EXPECT_EQ(view.status, kWaitingForCall);
    EXPECT_EQ(log, (QList<QByteArray>{kModemLostLog, kModemBackLog}));
    EXPECT_FALSE(recovery.waiting());

    // Lost again: the same again.
    loseTheDevice();
    EXPECT_EQ(log.last(), kModemLostLog);
    EXPECT_TRUE(recovery.waiting());
}

TEST_F(ModemRecoveryTest, AModemThatDoesNotAnswerItsGreetingIsLoggedNotBoxedAndTheCallsGoOn) {
    loseTheDevice();
    port.present = true;
    initAnswers = false;
    polls(ModemRecovery::kPollsPerLook);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(log, (QList<QByteArray>{kModemLostLog, kModemInitErrorLog, kModemBackLog}));
}

TEST_F(ModemRecoveryTest, NoGreetingStartsInsideAnotherWaitOrInsideItself) {
    loseTheDevice();
    port.present = true;
    polls(3 * ModemRecovery::kPollsPerLook, /*insideWait=*/true);
    EXPECT_EQ(port.reopens, 0);

    // The greeting's own waits process the timer's ticks.
    duringInit = [this] { polls(10); };
    polls(ModemRecovery::kPollsPerLook);
    EXPECT_EQ(inits, 1);
}

TEST_F(ModemRecoveryTest, ADeviceThatCannotBeOpenedYetIsTriedAgainEachSecond) {
    loseTheDevice();
    port.present = true;
    port.opensWhenAsked = false; // still held by a prober, say
    polls(3 * ModemRecovery::kPollsPerLook);
    EXPECT_EQ(port.reopens, 3);
    EXPECT_EQ(inits, 0);
    EXPECT_EQ(log.size(), 1);
    port.opensWhenAsked = true;
    polls(ModemRecovery::kPollsPerLook);
    EXPECT_EQ(log.last(), kModemBackLog);
}

TEST_F(ModemRecoveryTest, APortTheUserSwitchesIsTheUsersToKeep) {
    // Opened from the menu while waiting: nothing more to do here.
    loseTheDevice();
    port.open = true;
    polls(3 * ModemRecovery::kPollsPerLook);
    EXPECT_EQ(port.reopens, 0);
    EXPECT_FALSE(recovery.waiting());

    // Closed from the menu: never opened again on its own.
    port.open = false;
    port.present = true;
    polls(10 * ModemRecovery::kPollsPerLook);
    EXPECT_EQ(port.reopens, 0);

    // Closed from the menu during the greeting: it stays closed.
    port.open = true;
    loseTheDevice();
    port.present = true;
    duringInit = [this] { port.open = false; };
    polls(ModemRecovery::kPollsPerLook);
    EXPECT_EQ(inits, 1);
    EXPECT_FALSE(port.open);
    EXPECT_EQ(portStates.last(), false);
    duringInit = {};
    polls(10 * ModemRecovery::kPollsPerLook);
    EXPECT_EQ(port.reopens, 1);
    EXPECT_NE(log.last(), kModemBackLog);
}

} // namespace
} // namespace tarvik
