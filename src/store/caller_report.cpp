#include "store/caller_report.h"

#include "store/codepage.h"

namespace tarvik {
namespace {

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QByteArray without(QByteArrayView text, QByteArrayView dropped) {
    QByteArray kept;
    for (const char ch : text)
        if (!dropped.contains(ch)) kept += ch;
    return kept;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<CallerReportLine> parseCallerReportLine(QByteArrayView line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) return std::nullopt;
    const QByteArrayView tag = trimmedBlanks(line.first(equals));
    const QByteArray value = trimmedBlanks(line.sliced(equals + 1)).toByteArray();
    using Tag = CallerReportLine::Tag;
    if (tag == "NMBR") return CallerReportLine{Tag::Number, value};
    if (tag == "DDN_NMBR" || tag == "DDN" || tag == "NBR")
        return CallerReportLine{Tag::OtherNumber, value};
    if (tag == "NAME") return CallerReportLine{Tag::Name, value};
    if (tag == "DATE" || tag == "TIME" || tag == "MESG") return CallerReportLine{Tag::Other, value};
    return std::nullopt;
}

ReportedNumber classifyReportedNumber(QByteArrayView value) {
    const QByteArrayView v = trimmedBlanks(value);
    if (v == "P" || equalsIgnoringCase(v, "PRIVATE") || equalsIgnoringCase(v, "Restricted"))
        return ReportedNumber::Private;
    if (v == "O" || equalsIgnoringCase(v, "Unavailable") || equalsIgnoringCase(v, "OUT-OF-AREA"))
        return ReportedNumber::OutOfArea;
    if (v == "A" || equalsIgnoringCase(v, "ANONYMOUS")) return ReportedNumber::Anonymous;
    bool digit = false, nonZero = false;
    for (const char ch : v) {
        digit = digit || (ch >= '0' && ch <= '9');
        nonZero = nonZero || (ch >= '1' && ch <= '9');
    }
    return digit && nonZero ? ReportedNumber::Known : ReportedNumber::None;
}

QByteArray reportedDigits(QByteArrayView value) {
    if (classifyReportedNumber(value) != ReportedNumber::Known) return {};
    return without(value, " \t+-()");
}

QByteArray ncidReportedNumber(QByteArrayView value) {
    switch (classifyReportedNumber(value)) {
    case ReportedNumber::Known:
        return without(value, " \t()");
    case ReportedNumber::Private:
        return "PRIVATE";
    case ReportedNumber::OutOfArea:
        return "OUT-OF-AREA";
    case ReportedNumber::Anonymous:
        return "ANONYMOUS";
    case ReportedNumber::None:
        break;
    }
    return {};
}

bool isWithheldNumber(QByteArrayView value) {
    const ReportedNumber kind = classifyReportedNumber(value);
    return kind != ReportedNumber::Known && kind != ReportedNumber::None;
}

QByteArray ncidNameText(const QString& name) {
    QByteArray ascii;
    for (const QChar ch : name)
        ascii +=
            ch.unicode() >= 0x20 && ch.unicode() < 0x7f ? static_cast<char>(ch.unicode()) : '?';
    return ascii;
}

QString reportedNameText(QByteArrayView name) {
    return strictUtf8(name).value_or(QString::fromLatin1(name));
}

} // namespace tarvik
