#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

namespace tarvik {

struct SettingsRecord;
class ModemDialogue;

// Run-time state of the main window that calls and dialing share.
struct CallState {
    bool InCall = false;
    QByteArray DialedNumber;
};

// What call handling and dialing need of the main window.
class CallView {
public:
    virtual ~CallView() = default;
    virtual void setStatusText(const QByteArray& text) = 0;
    virtual void setRepeatHint(const QString& hint) = 0;
    // Draws a keypad key (told by its tag) pressed or released.
    virtual void setKeyDown(int tag, bool down) = 0;
    virtual bool phoneKeysVisible() const = 0;
};

// The number display as calls and dialing use it.
class CallerDisplay {
public:
    virtual ~CallerDisplay() = default;
    virtual void ShowCallerId(const QByteArray& line) = 0;
    virtual void ShowDialedNumber() = 0;
};

// The beep and the ring sound.
class RingSound {
public:
    virtual ~RingSound() = default;
    virtual void beep() = 0;
    // Returns when the sound has ended.
    virtual void playWav(const QString& fileName) = 0;
};

using LogLineWriter = std::function<void(const QByteArray& message)>;

// Everything the call logic works with, owned by the main window.
struct CallContext {
    SettingsRecord& settings;
    CallState& state;
    ModemDialogue& modem;
    CallView& view;
    CallerDisplay& display;
    LogLineWriter log;
};

} // namespace tarvik
