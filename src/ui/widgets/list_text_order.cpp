#include "ui/widgets/list_text_order.h"

#include "store/calllog.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace tarvik {

std::optional<QList<int>> numberFields(QStringView text, QChar separator) {
    QList<int> fields;
    for (const QStringView part : text.split(separator)) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (part.isEmpty() || !ok || part.front() == QLatin1Char('+') ||
            part.front() == QLatin1Char('-'))
            return std::nullopt;
        fields.append(value);
    }
    return fields;
}

namespace {

// Two-digit years fall in the hundred years around now.
int fullYear(int year, qsizetype digits, int now) {
    if (digits > 2) return year;
    int full = now / 100 * 100 + year;
    if (full > now + 50) full -= 100;
    if (full <= now - 50) full += 100;
    return full;
}

// A run of up to 15 ASCII digits, a whole number that a double holds exactly.
std::optional<double> plainDigits(QStringView text) {
    constexpr qsizetype kExactDigits = 15;
    if (text.isEmpty() || text.size() > kExactDigits) return std::nullopt;
    double value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool stripSuffix(QStringView& text, const QString& suffix) {
    if (suffix.isEmpty() || !text.endsWith(suffix, Qt::CaseInsensitive)) return false;
    text = text.chopped(suffix.size()).trimmed();
    return true;
}

} // namespace

ListTextOrder::ListTextOrder(const QLocale& locale)
    : locale_(locale)
    , collator_(locale)
    , thisYear_(QDate::currentDate().year()) {
    collator_.setCaseSensitivity(Qt::CaseSensitive);
    locale_.setNumberOptions(QLocale::RejectGroupSeparator);
    asciiDigits_ = locale.zeroDigit() == QLatin1String("0");
    amText_ = locale.amText();
    pmText_ = locale.pmText();
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    dateSeparator_ = formatSeparator(dateFormat, QLatin1Char('/'));
    timeSeparator_ = formatSeparator(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    const auto day = dateFormat.indexOf(QLatin1Char('d'));
    const auto month = dateFormat.indexOf(QLatin1Char('M'));
    const auto year = dateFormat.indexOf(QLatin1Char('y'));
    if (year >= 0 && year < month && month < day)
        fieldOrder_ = FieldOrder::YearMonthDay;
    else if (month >= 0 && month < day)
        fieldOrder_ = FieldOrder::MonthDayYear;
}

std::optional<QDate> ListTextOrder::toDate(QStringView text) const {
    const std::optional<QList<int>> fields = numberFields(text, dateSeparator_);
    if (!fields || fields->size() < 2 || fields->size() > 3) return std::nullopt;
    const QList<int>& f = *fields;
    const QList<QStringView> parts = text.split(dateSeparator_);
    int day = 0, month = 0;
    int year = thisYear_;
    if (f.size() == 2) {
        const bool dayFirst = fieldOrder_ == FieldOrder::DayMonthYear;
        day = dayFirst ? f[0] : f[1];
        month = dayFirst ? f[1] : f[0];
    } else if (fieldOrder_ == FieldOrder::YearMonthDay) {
        year = fullYear(f[0], parts[0].size(), thisYear_);
        month = f[1];
        day = f[2];
    } else {
        const bool dayFirst = fieldOrder_ == FieldOrder::DayMonthYear;
        day = dayFirst ? f[0] : f[1];
        month = dayFirst ? f[1] : f[0];
        year = fullYear(f[2], parts[2].size(), thisYear_);
    }
    const QDate date(year, month, day);
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<QTime> ListTextOrder::toTime(QStringView text) const {
    const bool am = stripSuffix(text, amText_) || stripSuffix(text, QStringLiteral("AM"));
    const bool pm = !am && (stripSuffix(text, pmText_) || stripSuffix(text, QStringLiteral("PM")));
    const std::optional<QList<int>> fields = numberFields(text, timeSeparator_);
    if (!fields || fields->size() < 2 || fields->size() > 3) return std::nullopt;
    int hour = fields->at(0);
    if (am || pm) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QTime time(hour, fields->at(1), fields->size() == 3 ? fields->at(2) : 0);
    if (!time.isValid()) return std::nullopt;
    return time;
}

namespace {

QDateTime utcDateTime(QDate date, QTime time) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QDateTime(date, time, QTimeZone::UTC);
#else
    return QDateTime(date, time, Qt::UTC);
#endif
}

} // namespace

std::optional<QDateTime> ListTextOrder::toDateTime(const QString& text) const {
    const QStringView whole = QStringView(text).trimmed();
    const qsizetype blank = whole.indexOf(QLatin1Char(' '));
    const QStringView head = blank < 0 ? whole : whole.left(blank);
    const QStringView tail = blank < 0 ? QStringView() : whole.mid(blank + 1).trimmed();
    if (const std::optional<QDate> date = toDate(head)) {
        if (tail.isEmpty()) return utcDateTime(*date, QTime(0, 0));
        if (const std::optional<QTime> time = toTime(tail)) return utcDateTime(*date, *time);
        return std::nullopt;
    }
    if (const std::optional<QTime> time = toTime(whole))
        return utcDateTime(QDate(1899, 12, 30), *time);
    return std::nullopt;
}

std::optional<double> ListTextOrder::toNumber(const QString& text) const {
    // Books are full of plain digits: read them at once, as the locale would.
    if (asciiDigits_) {
        if (const std::optional<double> value = plainDigits(text)) return value;
    }
    bool ok = false;
    const double value = locale_.toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

ListTextOrder::Key ListTextOrder::keyOf(const QString& text) const {
    Key key;
    // Dates, times and numbers all hold a digit; most names hold none.
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) return key;
    if (text.contains(dateSeparator_) || text.contains(timeSeparator_)) {
        if (const std::optional<QDateTime> when = toDateTime(text)) {
            key.when = when->toMSecsSinceEpoch();
            key.hasWhen = true;
        }
    }
    if (const std::optional<double> number = toNumber(text)) {
        key.number = *number;
        key.hasNumber = true;
    }
    return key;
}

std::optional<int> ListTextOrder::compareKeys(const Key& a, const Key& b) {
    const auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (a.hasWhen && b.hasWhen) return sign(a.when, b.when);
    if (a.hasNumber && b.hasNumber) return sign(a.number, b.number);
    return std::nullopt;
}

int ListTextOrder::compare(const QString& a, const QString& b) const {
    if (const std::optional<int> order = compareKeys(keyOf(a), keyOf(b))) return *order;
    return collate(a, b);
}

} // namespace tarvik
