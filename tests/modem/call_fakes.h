#pragma once
// Stand-ins for what the call logic reports to: the window, the sounds and
// those who follow the line.
#include "fake_main_view.h"

#include "modem/caller_screen.h"
#include "platform/sound.h"
#include "store/call_events.h"

#include <QHash>
#include <QStringList>

namespace tarvik::testing {

class RecordingView final : public FakeMainView {
public:
    void setStatusText(const QByteArray& text) override {
        FakeMainView::setStatusText(text);
        statuses.append(text);
    }
    QList<QByteArray> statuses;
};

class FakeSound final : public RingSound {
public:
    void beep() override { events.append("beep"); }
    void playWav(const QString& file) override { events.append("play:" + file); }
    QStringList events;
};

// What the call logic told those who follow the line, in order.
class RecordingEvents final : public CallEvents {
public:
    void ringCounted(int ring) override { told.append("ring " + QByteArray::number(ring)); }
    void ringIgnored() override { told.append("ring ignored"); }
    void answered() override { told.append("answered"); }
    void callerIdentified(const QByteArray& number, const QByteArray& name) override {
        told.append("caller " + number + (name.isEmpty() ? "" : " " + name));
    }
    void callerHungUp(const QByteArray& number, const QByteArray& name) override {
        told.append("hung up " + number + (name.isEmpty() ? "" : " " + name));
    }
    void dialing(const QByteArray& number) override { told.append("dialing " + number); }
    QList<QByteArray> told;
};

// A few callers of the phone book as the line's screen sees them; withheld
// callers are hung up.
class FakeScreen final : public CallerScreen {
public:
    CallerVerdict screen(QByteArrayView number, bool withheld) const override {
        if (withheld) return {{}, true};
        return verdicts.value(number.toByteArray());
    }
    QHash<QByteArray, CallerVerdict> verdicts{{"5551234567", {"BAD GUY", true}},
                                              {"1234567", {"BAD GUY", true}},
                                              {"5559999999", {"GRANNY", false}}};
};

} // namespace tarvik::testing
