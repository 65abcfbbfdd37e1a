#include "net/ncid_lines.h"

#include "net/ncid_fields.h"

namespace tarvik::ncid {
namespace {

QByteArray twoDigits(int value) {
    return QByteArray::number(value).rightJustified(2, '0');
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

QByteArray tooManyClientsLine(std::size_t clientsMax) {
    return "MSG: Too many clients connected (" + QByteArray::number(clientsMax) + ')';
}

QByteArray serverLine(QByteArrayView version) {
    return "200 Server: TARVIK " + version.toByteArray();
}

QByteArray field(QByteArrayView value, QByteArrayView missing) {
    while (!value.isEmpty() && !endsFieldValue(value.back()))
        value.chop(1);
    if (value.isEmpty()) return missing.toByteArray();
    return printable(value);
}

QByteArray numberField(QByteArrayView number) {
    QByteArray digits = number.toByteArray();
    digits.replace('?', kUnknownDigit);
    return field(digits, "NO-NUMBER");
}

QByteArray callLine(QByteArrayView label, const CallRecord& call, QByteArrayView lineId) {
    return label.toByteArray() + " *" +
           fieldPair(kDateLabel, dateField(call.year, call.month, call.day)) +
           fieldPair(kTimeLabel, timeField(call.hour, call.minute)) +
           fieldPair(kLineLabel, field(lineId, "-")) +
           fieldPair(kNumberLabel, numberField(call.number)) + fieldPair(kMesgLabel, "NONE") +
           fieldPair(kNameLabel, field(call.name, "NO NAME"));
}

CallRecord callNow(CallRecord::Kind kind, const QByteArray& number, const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    return {kind, date.year(), date.month(), date.day(), time.hour(), time.minute(), number, {}};
}

QByteArray ringLine(QByteArrayView lineId, int ring, const QTime& now) {
    return kRingInfo + QByteArray(" *") + fieldPair(kLineLabel, field(lineId, "-")) +
           fieldPair(kRingLabel, QByteArray::number(ring)) +
           fieldPair(kTimeLabel, twoDigits(now.hour()) + ':' + twoDigits(now.minute()) + ':' +
                                     twoDigits(now.second()));
}

QByteArray messageLine(QByteArrayView text, QByteArrayView lineId, const QDateTime& now) {
    QByteArray message = text.toByteArray();
    // "***" starts the fields; a '*' of the text must not look like one.
    message.replace('*', '?');
    return kMessage + QByteArray(" ") + message + kMessageFieldsStart +
           fieldPair(kDateLabel,
                     dateField(now.date().year(), now.date().month(), now.date().day())) +
           fieldPair(kTimeLabel, timeField(now.time().hour(), now.time().minute())) +
           fieldPair(kNameLabel, "NO NAME") + fieldPair(kNumberLabel, "NO-NUMBER") +
           fieldPair(kLineLabel, field(lineId, "-")) + fieldPair(kMessageTypeLabel, "-");
}

QByteArray loggedCallLine(const CallRecord& call, QByteArrayView lineId) {
    const char* label = call.kind == CallRecord::Kind::Outgoing ? kLoggedDial
                        : call.kind == CallRecord::Kind::HungUp ? kLoggedHungUp
                                                                : kLoggedCaller;
    return callLine(label, call, lineId);
}

} // namespace tarvik::ncid
