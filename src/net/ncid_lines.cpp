#include "net/ncid_lines.h"

namespace tarvik::ncid {
namespace {

QByteArray twoDigits(int value) {
    return QByteArray::number(value).rightJustified(2, '0');
}

bool safeInField(char ch) {
    return ch >= ' ' && ch <= '~' && ch != '*';
}

} // namespace

QByteArray serverLine(QByteArrayView version) {
    return "200 Server: TARVIK " + version.toByteArray();
}

QByteArray field(QByteArrayView value, QByteArrayView missing) {
    if (value.isEmpty()) return missing.toByteArray();
    QByteArray text = value.toByteArray();
    for (char& ch : text)
        if (!safeInField(ch)) ch = '?';
    return text;
}

QByteArray callLine(QByteArrayView label, const CallRecord& call, QByteArrayView lineId) {
    QByteArray line = label.toByteArray();
    line += " *DATE*" + twoDigits(call.month) + twoDigits(call.day) +
            QByteArray::number(call.year).rightJustified(4, '0');
    line += "*TIME*" + twoDigits(call.hour) + twoDigits(call.minute);
    line += "*LINE*" + field(lineId, "-");
    line += "*NMBR*" + field(call.number, "NO-NUMBER");
    line += "*MESG*NONE*NAME*NO NAME*";
    return line;
}

QByteArray callLineNow(QByteArrayView label, CallRecord::Kind kind, const QByteArray& number,
                       QByteArrayView lineId, const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    const CallRecord call{kind,        date.year(),   date.month(), date.day(),
                          time.hour(), time.minute(), number};
    return callLine(label, call, lineId);
}

QByteArray ringLine(QByteArrayView lineId, int ring, const QTime& now) {
    return "CIDINFO: *LINE*" + field(lineId, "-") + "*RING*" + QByteArray::number(ring) + "*TIME*" +
           twoDigits(now.hour()) + ':' + twoDigits(now.minute()) + ':' + twoDigits(now.second()) +
           '*';
}

QByteArray loggedCallLine(const CallRecord& call, QByteArrayView lineId) {
    return callLine(call.kind == CallRecord::Kind::Incoming ? kLoggedCaller : kLoggedDial, call,
                    lineId);
}

} // namespace tarvik::ncid
