#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <optional>

namespace tarvik {

// The mark of a caller-ID line from the modem, anywhere in the line.
inline constexpr char kCallerIdMark[] = "CallerID:";
// How a dial's log line starts: the dialled number follows, in double quotes,
// then a colon and the modem's last reply.
inline constexpr char kOutgoingCallLog[] = "Outgoing call to \"";
// How the log line of a call hung up on starts: the number (as NCID clients get
// it) follows, then a blank and the phone book entry's name.
inline constexpr char kHungUpLog[] = "Hung up: ";

QByteArray hungUpLogLine(QByteArrayView number, QByteArrayView bookName);

// The number of a "CallerID:" line as the display cuts it: at most `digCol`
// digits with the category digit last. Nothing for an "Unknown" caller.
std::optional<QByteArray> cutCallerNumber(QByteArrayView line, int digCol);

// The caller's number without its category digit, as the LEDs show it; empty
// when the line names no number.
QByteArray callerNumberShown(QByteArrayView line, int digCol);
// The digits to take for the whole number.
inline constexpr int kWholeNumber = 1000;

// One call as the call log tells it.
struct CallRecord {
    // CallerName: the name line a modem reported after its caller's number line.
    // HungUp: a caller the program hung up on, with the phone book's name.
    enum class Kind { Incoming, Outgoing, CallerName, HungUp };
    Kind kind = Kind::Incoming;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    // The caller's number as shown (a reported one whole, or PRIVATE,
    // OUT-OF-AREA, ANONYMOUS), or the dialled number; empty when unknown.
    QByteArray number;
    // The caller's name as the modem reported it; empty when none.
    QByteArray name;
};

// A log line (without its CR LF) read back as a call: a caller's "CallerID:"
// line, a reported caller's number or name line ("NMBR = ..."), or an outgoing
// call's result. Other lines and broken stamps give nothing. The log has no year: a day and month
// after `today` are last year's.
std::optional<CallRecord> callRecordFromLogLine(QByteArrayView line, QDate today, int digCol);

} // namespace tarvik
