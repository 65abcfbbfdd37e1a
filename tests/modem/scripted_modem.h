#pragma once
#include "modem/modem_port.h"
#include "platform/event_pump.h"
#include "platform/tick.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <map>

namespace tarvik::testing {

// A modem on a fake clock: bytes arrive at set times, what the program sends is
// recorded with its time, and "window messages" (callbacks) run at set times
// when the waits process messages. Waiting advances the clock to the next
// arrival or the deadline, so a test of seconds of modem talk runs instantly.
class ScriptedModem final : public ModemPort, public EventPump {
public:
    explicit ScriptedModem(std::uint32_t startTick = 1000000)
        : now(startTick) {
        previousSource_ = setTickSource([this] { return now; });
    }
    ~ScriptedModem() override { setTickSource(previousSource_); }

    // Bytes that reach the receive buffer `afterMs` from now.
    void arrive(std::uint32_t afterMs, const QByteArray& bytes) {
        arrivals_.insert({now + afterMs, bytes});
    }
    // A message handled by the first wait that processes messages `afterMs` from now.
    void message(std::uint32_t afterMs, std::function<void()> fn) {
        messages_.insert({now + afterMs, std::move(fn)});
    }
    // Called with each text the program queues for sending.
    std::function<void(const QByteArray&)> onWrite;

    struct Sent {
        std::uint32_t at;
        QByteArray bytes;
    };
    QList<Sent> sent;
    QByteArray sentBytes() const {
        QByteArray all;
        for (const auto& s : sent)
            all += s.bytes;
        return all;
    }

    bool open = true;
    int outFree = 2048;
    int purges = 0;
    int pumpCalls = 0;
    // The longest a single wait may sleep, to walk the clock across a wrap.
    std::uint32_t maxStep = UINT32_MAX;
    std::uint32_t now;

    // ModemPort
    bool isOpen() const override { return open; }
    int InCount() const override {
        deliver();
        return open ? static_cast<int>(buffer_.size()) : 0;
    }
    int OutFree() const override { return outFree; }
    std::uint8_t ReadByte() override {
        deliver();
        if (!open || buffer_.isEmpty()) return 0;
        const auto byte = static_cast<std::uint8_t>(buffer_.front());
        buffer_.remove(0, 1);
        return byte;
    }
    void WriteString(const QByteArray& text) override { write(text); }
    int WriteByte(std::uint8_t value) override {
        if (!open) return 0;
        write(QByteArray(1, static_cast<char>(value)));
        return 1;
    }
    void PurgeIn() override {
        deliver();
        ++purges;
        buffer_.clear();
    }

    // EventPump
    void processPending() override {
        ++pumpCalls;
        while (!messages_.empty() && messages_.begin()->first <= now) {
            auto fn = std::move(messages_.begin()->second);
            messages_.erase(messages_.begin());
            fn();
        }
    }
    void waitForActivity(std::uint32_t maxMs) override {
        // Bytes already due are in the receive buffer and woke the loop when they came;
        // only later ones end this wait (else a pause with bytes waiting never ends).
        deliver();
        std::uint32_t until = now + std::min(maxMs, maxStep);
        if (!arrivals_.empty()) until = std::min(until, arrivals_.begin()->first);
        if (!messages_.empty()) until = std::min(until, std::max(now, messages_.begin()->first));
        now = until;
    }

private:
    void write(const QByteArray& bytes) {
        if (!open) return;
        sent.append({now, bytes});
        if (onWrite) onWrite(bytes);
    }
    void deliver() const {
        while (!arrivals_.empty() && arrivals_.begin()->first <= now) {
            if (open) buffer_ += arrivals_.begin()->second;
            arrivals_.erase(arrivals_.begin());
        }
    }

    mutable std::multimap<std::uint32_t, QByteArray> arrivals_;
    mutable QByteArray buffer_;
    std::multimap<std::uint32_t, std::function<void()>> messages_;
    TickSource previousSource_;
};

} // namespace tarvik::testing
