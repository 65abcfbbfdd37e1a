#pragma once
#include <QByteArray>

namespace tarvik {

// What the call logic tells those who follow the line from outside (the NCID
// service). Each report is made at once and must not wait. Kept beside the call
// records, as the modem's logic and the network's both speak it.
class CallEvents {
public:
    virtual ~CallEvents() = default;
    // A ring counted by the incoming-call sequence: 1, 2, ...
    virtual void ringCounted(int ring) = 0;
    // A ring of a call that the settings leave unanswered.
    virtual void ringIgnored() = 0;
    // The answer is over (the modem's report read, or its time up): its caller,
    // if any, has been told.
    virtual void answered() = 0;
    // A caller was logged: the number as shown, without its category digit (a
    // reported number whole, or PRIVATE, OUT-OF-AREA, ANONYMOUS), empty for an
    // unknown caller; the name the modem reported, if any.
    virtual void callerIdentified(const QByteArray& number, const QByteArray& name) = 0;
    // A caller hung up on instead of shown; number and name as for callerIdentified.
    virtual void callerHungUp(const QByteArray& number, const QByteArray& name) = 0;
    // A dial string has gone to the modem.
    virtual void dialing(const QByteArray& number) = 0;
};

// Told nothing: the reports go here while nobody follows the line.
inline CallEvents& noCallEvents() {
    struct Nobody final : CallEvents {
        void ringCounted(int) override {}
        void ringIgnored() override {}
        void answered() override {}
        void callerIdentified(const QByteArray&, const QByteArray&) override {}
        void callerHungUp(const QByteArray&, const QByteArray&) override {}
        void dialing(const QByteArray&) override {}
    };
    static Nobody nobody;
    return nobody;
}

// The reports passed on to whoever follows the line now: the call logic keeps
// one switch while followers come and go.
class CallEventsSwitch final : public CallEvents {
public:
    void follow(CallEvents* follower) { to_ = follower ? follower : &noCallEvents(); }

    void ringCounted(int ring) override { to_->ringCounted(ring); }
    void ringIgnored() override { to_->ringIgnored(); }
    void answered() override { to_->answered(); }
    void callerIdentified(const QByteArray& number, const QByteArray& name) override {
        to_->callerIdentified(number, name);
    }
    void callerHungUp(const QByteArray& number, const QByteArray& name) override {
        to_->callerHungUp(number, name);
    }
    void dialing(const QByteArray& number) override { to_->dialing(number); }

private:
    CallEvents* to_ = &noCallEvents();
};

} // namespace tarvik
