#include "modem/dialing.h"

#include "modem/dialogue.h"
#include "modem/incoming_call.h"
#include "modem/number_display.h"
#include "store/call_record.h"
#include "store/settings.h"
#include "store/short_text.h"

#include <QByteArrayList>

namespace tarvik {
namespace {

constexpr std::uint32_t kKeyPressedMs = 60;
constexpr int kSpaceKey = 32;
constexpr char kBackspace = 8;
constexpr char kEscape = 27;

bool isFinalReply(const QByteArray& line) {
    static const QByteArrayList finals = {"OK", "NOCARRIER", "ERROR", "BUSY", "NO DIAL"};
    return finals.contains(line);
}

QByteArray outgoingText(const QByteArray& number) {
    return kOutgoingCallLog + number + '"';
}

} // namespace

int digitKeyTag(char digit) {
    return digit == '0' ? 100 : (digit - '0') * 10;
}

void Dialer::btnPhoneKeysClick(int tag) {
    QByteArray& number = c_.state().DialedNumber;
    if (tag >= 10 && tag <= 90 && tag % 10 == 0) {
        number += static_cast<char>('0' + tag / 10);
    } else if (tag == 100) {
        number += '0';
    } else if (tag == kTagFlash) {
        number += 'w';
    } else if (tag == kTagRepeat) {
        hashKey();
    } else if (tag == kTagReset) {
        number.clear();
    } else if (tag == kTagErase) {
        number.chop(1);
    }
    c_.view.setRepeatHint(number.isEmpty() ? QStringLiteral("ReDial") : QStringLiteral("Dial"));
    if (number.size() > kKeypadNumberMax) number.truncate(kKeypadNumberMax);
    ShowDialedNumber(c_.view.leds(), number);
}

void Dialer::hashKey() {
    if (c_.state().DialedNumber.isEmpty()) {
        c_.state().DialedNumber = c_.settings.LastDialNum;
        return;
    }
    c_.settings.LastDialNum = c_.state().DialedNumber;
    DialNumber();
}

void Dialer::DialNumber() {
    ModemDialogue& modem = c_.modem;
    if (!modem.portOpen()) return;
    // The number as dialed: keys pressed during the wait must not change what the log names.
    const QByteArray number = c_.state().DialedNumber;
    if (!modem.SendModemString(cutShort(c_.settings.DialPrefix + number + "\r\n"))) return;
    c_.state().InCall = true;
    c_.events->dialing(number);
    c_.view.setStatusText(outgoingText(number));

    QByteArray line;
    for (;;) {
        modem.processMessages();
        line = modem.ReadModemLine();
        if (isFinalReply(line) || !c_.state().InCall) break;
    }

    const QByteArray result = cutShort(outgoingText(number) + ':' + line);
    c_.log(result);
    c_.view.setStatusText(result);
    c_.state().InCall = false;
}

void Dialer::dialPhoneBookEntry(const QByteArray& phone) {
    c_.state().DialedNumber = cutShort(phone);
    ShowDialedNumber(c_.view.leds(), c_.state().DialedNumber);
    DialNumber();
}

void Dialer::pressKey(int tag) {
    c_.view.setKeyDown(tag, true);
    btnPhoneKeysClick(tag);
    c_.modem.PumpDelay(kKeyPressedMs);
    c_.view.setKeyDown(tag, false);
}

void Dialer::FormKeyPress(char key) {
    if (!c_.view.phoneKeysVisible()) return;
    if (key >= '0' && key <= '9') {
        pressKey(digitKeyTag(key));
    } else if (key == kBackspace) {
        pressKey(kTagErase);
    } else if (key == kEscape && !c_.state().DialedNumber.isEmpty()) {
        pressKey(kTagReset);
    }
}

bool Dialer::FormKeyDown(int key) {
    if (key != kSpaceKey) return false;
    if (c_.state().InCall)
        calls_.btnTalkClick();
    else
        pressKey(kTagRepeat);
    return true;
}

} // namespace tarvik
