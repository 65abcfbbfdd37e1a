#pragma once
#include <QCollator>
#include <QCollatorSortKey>
#include <QDateTime>
#include <QLocale>
#include <optional>

namespace tarvik {

// Non-negative decimal fields between separators, or nothing.
std::optional<QList<int>> numberFields(QStringView text, QChar separator);

// The order of two cell texts: as date-times when both hold the locale's date
// or time separator and both convert, else as numbers when both convert, else
// as text in the locale's collation with letter case counting.
class ListTextOrder {
public:
    explicit ListTextOrder(const QLocale& locale = QLocale());

    // Negative, zero or positive, as a comes before, with or after b.
    int compare(const QString& a, const QString& b) const;

    // What the order needs of one text, worked out once when many are sorted:
    // its date-time and its number, when it has them.
    struct Key {
        qint64 when = 0; // milliseconds since the epoch
        double number = 0;
        bool hasWhen = false;
        bool hasNumber = false;
    };
    Key keyOf(const QString& text) const;
    // The order of two texts from their keys, or nothing when only their
    // collation tells it.
    static std::optional<int> compareKeys(const Key& a, const Key& b);
    // The texts in the locale's collation alone, and keys that compare the same
    // way (but stop at a NUL character).
    int collate(const QString& a, const QString& b) const { return collator_.compare(a, b); }
    QCollatorSortKey collationKey(const QString& text) const { return collator_.sortKey(text); }

    // A date missing its year, and a two-digit year's century, take this year:
    // the year the order was made in, unless told another.
    void setThisYear(int year) { thisYear_ = year; }

    // A date, a time or a date and a time written in the locale's field order
    // and separators; a missing year is this year, a missing date 1899-12-30.
    std::optional<QDateTime> toDateTime(const QString& text) const;
    // A number with the locale's decimal point and no group separators.
    std::optional<double> toNumber(const QString& text) const;

    QChar dateSeparator() const { return dateSeparator_; }
    QChar timeSeparator() const { return timeSeparator_; }

private:
    enum class FieldOrder { DayMonthYear, MonthDayYear, YearMonthDay };
    std::optional<QDate> toDate(QStringView text) const;
    std::optional<QTime> toTime(QStringView text) const;

    QLocale locale_;
    QCollator collator_;
    QChar dateSeparator_;
    QChar timeSeparator_;
    QString amText_, pmText_;
    int thisYear_;
    bool asciiDigits_ = true;
    FieldOrder fieldOrder_ = FieldOrder::DayMonthYear;
};

} // namespace tarvik
