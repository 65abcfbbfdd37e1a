#include "store/call_record.h"

#include "store/caller_report.h"

namespace tarvik {
namespace {

constexpr qsizetype kCallerIdPrefix = 10; // "CallerID:" and its separator

bool isBlankOrControl(char ch) {
    return static_cast<unsigned char>(ch) <= 0x20;
}

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

QByteArray trimmed(QByteArrayView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

// Reads the stamp "dd/mm hh:mm:ss " whose separators are the locale's: one or
// more bytes that are neither digits nor blanks.
class StampReader {
public:
    explicit StampReader(QByteArrayView text)
        : text_(text) {}

    bool number(int& value, int low, int high) {
        if (at_ + 2 > text_.size() || !isDigit(text_[at_]) || !isDigit(text_[at_ + 1]))
            return false;
        value = (text_[at_] - '0') * 10 + (text_[at_ + 1] - '0');
        at_ += 2;
        return value >= low && value <= high;
    }
    bool separator() {
        const qsizetype start = at_;
        while (at_ < text_.size() && at_ - start < kSeparatorMax && !isDigit(text_[at_]) &&
               text_[at_] != ' ')
            ++at_;
        return at_ > start;
    }
    bool blank() {
        if (at_ >= text_.size() || text_[at_] != ' ') return false;
        ++at_;
        return true;
    }
    QByteArrayView rest() const { return text_.sliced(at_); }

private:
    static constexpr qsizetype kSeparatorMax = 4;
    QByteArrayView text_;
    qsizetype at_ = 0;
};

// The dialled number of `Outgoing call to "N":reply`: up to the last quote
// followed by a colon, as a number may hold quotes itself.
std::optional<QByteArray> dialledNumber(QByteArrayView message) {
    const QByteArrayView prefix(kOutgoingCallLog);
    if (!message.startsWith(prefix)) return std::nullopt;
    const QByteArrayView rest = message.sliced(prefix.size());
    const qsizetype end = rest.lastIndexOf(QByteArrayView("\":"));
    if (end < 0) return std::nullopt;
    return rest.first(end).toByteArray();
}

} // namespace

std::optional<QByteArray> cutCallerNumber(QByteArrayView line, int digCol) {
    QByteArray s = trimmed(line.sliced(std::min(line.size(), kCallerIdPrefix)));
    if (s.contains("Unknown")) return std::nullopt;

    if (const qsizetype colon = s.indexOf(':'); colon >= 0) s.remove(colon, 1);
    while (s.startsWith('0'))
        s.remove(0, 1);
    if (s.endsWith('?')) s.back() = '0';
    if (s.size() > digCol + 1) s = s.right(digCol + 1);
    return s;
}

QByteArray callerNumberShown(QByteArrayView line, int digCol) {
    const std::optional<QByteArray> cut = cutCallerNumber(line, digCol);
    return cut ? cut->chopped(std::min<qsizetype>(1, cut->size())) : QByteArray();
}

QByteArray hungUpLogLine(QByteArrayView number, QByteArrayView bookName) {
    return (kHungUpLog + number.toByteArray() + ' ' + bookName.toByteArray()).trimmed();
}

std::optional<CallRecord> callRecordFromLogLine(QByteArrayView line, QDate today, int digCol) {
    CallRecord record;
    int second = 0;
    StampReader stamp(line);
    if (!stamp.number(record.day, 1, 31) || !stamp.separator() ||
        !stamp.number(record.month, 1, 12) || !stamp.blank() || !stamp.number(record.hour, 0, 23) ||
        !stamp.separator() || !stamp.number(record.minute, 0, 59) || !stamp.separator() ||
        !stamp.number(second, 0, 59) || !stamp.blank())
        return std::nullopt;

    const QByteArrayView message = stamp.rest();
    if (message.contains(QByteArrayView(kCallerIdMark))) {
        record.kind = CallRecord::Kind::Incoming;
        record.number = callerNumberShown(message, digCol);
    } else if (std::optional<QByteArray> number = dialledNumber(message)) {
        record.kind = CallRecord::Kind::Outgoing;
        record.number = std::move(*number);
    } else if (message.startsWith(kHungUpLog)) {
        const QByteArrayView rest = message.sliced(qstrlen(kHungUpLog));
        const qsizetype blank = rest.indexOf(' ');
        record.kind = CallRecord::Kind::HungUp;
        record.number = (blank < 0 ? rest : rest.first(blank)).toByteArray();
        if (blank >= 0) record.name = rest.sliced(blank + 1).toByteArray();
    } else if (const std::optional<CallerReportLine> report = parseCallerReportLine(message)) {
        using Tag = CallerReportLine::Tag;
        if (report->tag == Tag::Number || report->tag == Tag::OtherNumber) {
            record.kind = CallRecord::Kind::Incoming;
            record.number = ncidReportedNumber(report->value);
        } else if (report->tag == Tag::Name) {
            record.kind = CallRecord::Kind::CallerName;
            record.name = report->value;
        } else {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }

    const bool laterThisYear =
        record.month > today.month() || (record.month == today.month() && record.day > today.day());
    record.year = today.year() - (laterThisYear ? 1 : 0);
    return record;
}

} // namespace tarvik
