// The modem waits on the real Qt event loop: a byte that has arrived is never
// left waiting while a wait sleeps, whenever it comes.
#include "modem/dialogue.h"
#include "platform/app_events.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace tarvik {
namespace {

using namespace std::chrono_literals;

// The receive buffer as the reader thread fills it, with its wake-up of the UI loop.
class ReaderFedPort final : public ModemPort {
public:
    explicit ReaderFedPort(TAppEvents& events)
        : events_(events) {}

    // What the reader thread does when bytes come: buffer them, then wake the loop.
    void arriveFromReader(const QByteArray& bytes) {
        std::thread reader([&] {
            {
                std::lock_guard guard(lock_);
                buffer_ += bytes;
            }
            events_.wakeFromAnyThread();
        });
        reader.join();
    }

    bool isOpen() const override { return true; }
    int InCount() const override {
        std::lock_guard guard(lock_);
        return static_cast<int>(buffer_.size());
    }
    int OutFree() const override { return 2048; }
    std::uint8_t ReadByte() override {
        std::lock_guard guard(lock_);
        if (buffer_.isEmpty()) return 0;
        const auto byte = static_cast<std::uint8_t>(buffer_.front());
        buffer_.remove(0, 1);
        return byte;
    }
    void WriteString(const QByteArray&) override {}
    int WriteByte(std::uint8_t) override { return 1; }
    void PurgeIn() override {}

private:
    TAppEvents& events_;
    mutable std::mutex lock_;
    QByteArray buffer_;
};

// The real pump, with a hook that runs just before it processes messages: the
// moment after a wait has looked for bytes and found none.
class PumpWithHook final : public EventPump {
public:
    std::function<void()> beforeNextProcessing;

    void processPending() override {
        if (beforeNextProcessing) std::exchange(beforeNextProcessing, {})();
        real_.processPending();
    }
    void waitForActivity(std::uint32_t maxMs) override { real_.waitForActivity(maxMs); }

private:
    QtEventPump real_;
};

class ModemWaitWakeUp : public ::testing::Test {
protected:
    TAppEvents events;
    ReaderFedPort port{events};
    PumpWithHook pump;
    ModemDialogue modem{&port, pump};

    qint64 msToRead(QByteArray& line) {
        QElapsedTimer clock;
        clock.start();
        line = modem.ReadModemLine();
        return clock.elapsed();
    }
};

TEST_F(ModemWaitWakeUp, AReplyThatCameWhileMessagesWereProcessedIsReadAtOnce) {
    // The worst moment: the reply lands after the look, and the message
    // processing takes its only wake-up.
    pump.beforeNextProcessing = [this] { port.arriveFromReader("OK\r\n"); };
    QByteArray line;
    const qint64 ms = msToRead(line);
    EXPECT_EQ(line, "OK");
    EXPECT_LT(ms, 300) << "the wait slept on a reply that was already there";
}

TEST_F(ModemWaitWakeUp, ARingInTheMiddleOfTheSleepEndsIt) {
    std::thread modemSide([this] {
        std::this_thread::sleep_for(150ms);
        port.arriveFromReader("RING\r\n");
    });
    QByteArray line;
    const qint64 ms = msToRead(line);
    modemSide.join();
    EXPECT_EQ(line, "RING");
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 450);
}

TEST_F(ModemWaitWakeUp, AQuietModemStillEndsTheLineOnItsBudgetAndAPauseRunsItsLength) {
    QByteArray line;
    const qint64 ms = msToRead(line);
    EXPECT_TRUE(line.isEmpty());
    EXPECT_GE(ms, 590);
    EXPECT_LT(ms, 1500);

    // Bytes waiting do not cut a fixed pause short.
    port.arriveFromReader("RING\r\n");
    QElapsedTimer clock;
    clock.start();
    modem.PumpDelay(100);
    EXPECT_GE(clock.elapsed(), 99);
    EXPECT_LT(clock.elapsed(), 1000);
}

} // namespace
} // namespace tarvik
