#pragma once
#include "modem/led_digit.h"

#include <QByteArray>
#include <QString>
#include <Qt>

namespace tarvik {

// Run-time fields of the main window that the call and dialing logic share.
struct MainState {
    QByteArray DialedNumber; // the keypad's digits, at most 255 bytes
    bool InCall = false;     // the modem holds the line for a call
    // The caller on display as reported, whole (the phone book's matching
    // takes it); empty while none is, or for a withheld number.
    QByteArray CallerNumber;
};

// What the display, call and dialing logic need of the main window, so that
// they run in tests without any widget. Texts are single-byte (Windows-1251).
class MainView {
public:
    virtual ~MainView() = default;

    virtual MainState& state() = 0;
    virtual LedRow leds() = 0;

    // The status bar's one simple text.
    virtual void setStatusText(const QByteArray& text) = 0;
    virtual QByteArray statusText() const = 0;

    // An incoming caller: the window comes into view without taking the
    // keyboard from the program the user is typing into, and the tray item
    // reads "Hide". `notice` names the caller for a desktop notification
    // ("Incoming call: 5551234567"), where the desktop needs one.
    virtual void showForCaller(const QByteArray& notice) = 0;

    virtual bool phoneKeysVisible() const = 0;
    // The pressed look of the keypad key with this tag (10..140).
    virtual void setKeyDown(int tag, bool down) = 0;
    virtual void setRepeatHint(const QString& hint) = 0;
};

// The window's events that other parts of the program handle. Every handler
// does nothing unless overridden.
class MainEvents {
public:
    virtual ~MainEvents() = default;

    // The window is closing (close box, Close key, tray menu).
    virtual void FormClose() {}

    virtual void btnPhoneKeysClick(int tag) { (void)tag; }
    virtual void btnPhoneBookClick() {}
    virtual void btnAnswerClick() {}
    virtual void btnTalkClick() {}
    // A click on the LED panel or one of its digits.
    virtual void pnDigitalLedClick() {}
    virtual void miSetupClick() {}
    virtual void miAboutClick() {}
    // The caller on display into the phone book: a new entry through the
    // entry dialog, or marked BAD. `number` is CallerNumber when the item
    // ran, never empty.
    virtual void miAddCallerClick(const QByteArray& number) { (void)number; }
    virtual void miMarkCallerBadClick(const QByteArray& number) { (void)number; }

    // Every character typed into the window that no accelerator took; set
    // `key` to 0 to consume it.
    virtual void FormKeyPress(char& key) { (void)key; }
    // Every key code (Qt::Key) before the focused control sees it; set `key`
    // to 0 to consume it.
    virtual void FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
        (void)key;
        (void)shift;
    }
};

// The serial port as the tray menu's port item switches it.
class PortSwitch {
public:
    virtual ~PortSwitch() = default;
    virtual bool isOpen() const = 0;
    virtual void setOpen(bool open) = 0;
};

} // namespace tarvik
