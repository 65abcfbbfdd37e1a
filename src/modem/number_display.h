#pragma once
#include "modem/led_digit.h"
#include "modem/main_view.h"
#include "platform/log_sink.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>

namespace tarvik {

inline constexpr char kNoCallerIdText[] = "Incoming call, no caller ID.";

// How a notice names a caller: "Incoming call: " and the digits shown, or
// kNoCallerIdText.
QByteArray callerNotice(QByteArrayView digits);

// The log texts of the caller categories 0..9, in Windows-1251.
const std::array<QByteArray, 10>& CallerCategories();

// Spaces in front of `text` to make nine characters; longer texts unchanged.
QByteArray PadLeft9(QByteArrayView text);

// One character on one digit: '-' and '?' show a dash; the decimal point is
// set or cleared as asked.
void ShowLedChar(LedDigit& digit, char ch, bool point);

// The text on the nine digits, right-aligned when shorter, cut to its first
// nine characters when longer; the empty text darkens every bar.
void ShowOnLeds(const LedRow& leds, QByteArrayView text);

// The keypad's number right-aligned; a number of more than nine characters
// leaves the digits as they are.
void ShowDialedNumber(const LedRow& leds, QByteArrayView dialedNumber);

// A "CallerID:" line from the modem: brings the window into view, shows the
// number with its marker ('o', 'u' with unknown digits, 'n' for "Unknown")
// with `digCol` digits and logs the text of its category (the last digit). A
// category that is not a decimal digit throws TarvikError after the display
// has changed.
void ShowCallerId(MainView& view, QByteArrayView line, int digCol, const LogLineSink& writeLog);

// A number a modem reported by itself (the value of its NMBR line): brings the
// window into view and shows 'o' and the number's last `digCol` digits
// right-aligned, or 'n' and `digCol` dashes for a withheld or missing number.
// `notice` names the caller for a desktop notification.
void ShowReportedCaller(MainView& view, QByteArrayView number, int digCol,
                        const QByteArray& notice);

// The status text of a reported caller: "Incoming call:", the number as NCID
// clients get it and the name, in Windows-1251.
QByteArray reportedCallerStatus(QByteArrayView number, const QString& name);

} // namespace tarvik
