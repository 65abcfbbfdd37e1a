#pragma once
// Stand-ins for what the call logic reports to: the window, the sounds and
// those who follow the line.
#include "fake_main_view.h"

#include "modem/call_events.h"
#include "platform/sound.h"

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
    void dialing(const QByteArray& number) override { told.append("dialing " + number); }
    QList<QByteArray> told;
};

} // namespace tarvik::testing
