#include "net/ncid_lines.h"

namespace tarvik::ncid {
namespace {

QByteArray twoDigits(int value) {
    return QByteArray::number(value).rightJustified(2, '0');
}

bool safeInField(char ch) {
    return ch >= ' ' && ch <= '~' && ch != '*';
}

// Raw numbers: a logged day need not be a valid date (31/02), and is sent as logged.
QByteArray dateField(int year, int month, int day) {
    return twoDigits(month) + twoDigits(day) + QByteArray::number(year).rightJustified(4, '0');
}

QByteArray timeField(int hour, int minute) {
    return twoDigits(hour) + twoDigits(minute);
}

} // namespace

bool endsFieldValue(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_' || ch == '@' || ch == ' ' || ch == '-';
}

QByteArray serverLine(QByteArrayView version) {
    return "200 Server: TARVIK " + version.toByteArray();
}

QByteArray field(QByteArrayView value, QByteArrayView missing) {
    while (!value.isEmpty() && !endsFieldValue(value.back()))
        value.chop(1);
    if (value.isEmpty()) return missing.toByteArray();
    QByteArray text = value.toByteArray();
    for (char& ch : text)
        if (!safeInField(ch)) ch = '?';
    return text;
}

QByteArray numberField(QByteArrayView number) {
    QByteArray digits = number.toByteArray();
    digits.replace('?', kUnknownDigit);
    return field(digits, "NO-NUMBER");
}

QByteArray callLine(QByteArrayView label, const CallRecord& call, QByteArrayView lineId) {
    QByteArray line = label.toByteArray();
    line += " *DATE*" + dateField(call.year, call.month, call.day);
    line += "*TIME*" + timeField(call.hour, call.minute);
    line += "*LINE*" + field(lineId, "-");
    line += "*NMBR*" + numberField(call.number);
    line += "*MESG*NONE*NAME*" + field(call.name, "NO NAME") + '*';
    return line;
}

CallRecord callNow(CallRecord::Kind kind, const QByteArray& number, const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    return {kind, date.year(), date.month(), date.day(), time.hour(), time.minute(), number, {}};
}

QByteArray ringLine(QByteArrayView lineId, int ring, const QTime& now) {
    return "CIDINFO: *LINE*" + field(lineId, "-") + "*RING*" + QByteArray::number(ring) + "*TIME*" +
           twoDigits(now.hour()) + ':' + twoDigits(now.minute()) + ':' + twoDigits(now.second()) +
           '*';
}

QByteArray messageLine(QByteArrayView text, QByteArrayView lineId, const QDateTime& now) {
    QByteArray message = text.toByteArray();
    // "***" starts the fields; a '*' of the text must not look like one.
    message.replace('*', '?');
    return "MSG: " + message + "***DATE*" +
           dateField(now.date().year(), now.date().month(), now.date().day()) + "*TIME*" +
           timeField(now.time().hour(), now.time().minute()) +
           "*NAME*NO NAME*NMBR*NO-NUMBER*LINE*" + field(lineId, "-") + "*MTYPE*-*";
}

QByteArray loggedCallLine(const CallRecord& call, QByteArrayView lineId) {
    return callLine(call.kind == CallRecord::Kind::Incoming ? kLoggedCaller : kLoggedDial, call,
                    lineId);
}

} // namespace tarvik::ncid
