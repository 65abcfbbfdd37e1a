#pragma once
#include "modem/call_context.h"

namespace tarvik {

class IncomingCalls;

// Keypad tags.
enum KeyTag : int {
    kTagFlash = 110,
    kTagRepeat = 120,
    kTagReset = 130,
    kTagErase = 140,
};
int digitKeyTag(char digit);

inline constexpr int kKeypadNumberMax = 9;

// Why the keypad is off while the calls come from an NCID server.
inline constexpr char kNoDialingText[] =
    "No dialing: the calls come from an NCID server, and there is no modem here.";

// The keypad, the keyboard and dialing out.
class Dialer {
public:
    Dialer(CallContext context, IncomingCalls& calls)
        : c_(context)
        , calls_(calls) {}

    void btnPhoneKeysClick(int tag);
    // Dials DialedNumber and waits for the modem's final reply or a cleared InCall.
    void DialNumber();
    // A phone book entry's number, dialed whole; the last number and the hint stay.
    void dialPhoneBookEntry(const QByteArray& phone);

    // Characters while the keypad shows: digits, Backspace, Escape. Never consumed.
    void FormKeyPress(char key);
    // The space bar dials or hands over; returns true when the key was consumed.
    bool FormKeyDown(int key);

private:
    // A key pressed from the keyboard: drawn down for 60 ms around its click.
    void pressKey(int tag);
    void hashKey();

    CallContext c_;
    IncomingCalls& calls_;
};

} // namespace tarvik
