#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace tarvik {

// A line of the caller-ID block that most caller-ID modems send by themselves
// with the rings, "TAG = value" (blanks around '=' optional):
//   NMBR = 5551234567      the number (DDN_NMBR, DDN and NBR on some modems)
//   NAME = JOHN DOE
//   DATE, TIME, MESG       read and ignored
struct CallerReportLine {
    enum class Tag { Number, OtherNumber, Name, Other };
    Tag tag = Tag::Other;
    QByteArray value;
};

// The line as a caller-ID line; nothing when it is not one.
std::optional<CallerReportLine> parseCallerReportLine(QByteArrayView line);

// What a reported number stands for.
enum class ReportedNumber {
    Known,     // digits of a caller
    Private,   // withheld by the caller: P, PRIVATE, Restricted
    OutOfArea, // not delivered by the network: O, Unavailable
    Anonymous, // A, ANONYMOUS
    None,      // empty, no digits, zeros only
};
ReportedNumber classifyReportedNumber(QByteArrayView value);

// Private, out of area or anonymous: a caller who did not give a number. None
// is not withheld: the call came without caller ID.
bool isWithheldNumber(QByteArrayView value);

// The number as the display takes it: blanks, '+', '-', '(' and ')' dropped,
// leading zeros kept; empty when the number is not Known.
QByteArray reportedDigits(QByteArrayView value);

// The number as NCID clients get it: the whole number without blanks and
// brackets, or PRIVATE, OUT-OF-AREA, ANONYMOUS; empty for None.
QByteArray ncidReportedNumber(QByteArrayView value);

// A name as NCID clients read it, plain ASCII: a letter they cannot show is '?'.
QByteArray ncidNameText(const QString& name);

// A reported name as text: modems send UTF-8 or Latin-1.
QString reportedNameText(QByteArrayView name);

} // namespace tarvik
