#include "store/phone_index.h"

#include "store/caller_report.h"

#include <algorithm>
#include <utility>

namespace tarvik {
namespace {

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool digitsMatch(QByteArrayView a, QByteArrayView b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() == b.size()) return a == b;
    return b.size() >= kLocalDigits && a.endsWith(b);
}

// The last kLocalDigits digits (all when fewer) and their count: two numbers
// that match have the same key.
std::uint64_t keyOf(QByteArrayView digits) {
    const QByteArrayView tail = digits.last(std::min<qsizetype>(digits.size(), kLocalDigits));
    std::uint64_t value = 0;
    for (const char ch : tail)
        value = value * 10 + static_cast<std::uint64_t>(ch - '0');
    return static_cast<std::uint64_t>(tail.size()) << 32 | value;
}

} // namespace

QByteArray phoneMatchDigits(QByteArrayView number) {
    QByteArray digits = reportedDigits(number);
    // Entries kept for dialing may hold ',' (a pause), '*', '#' or letters: no
    // caller is reported so, and a part of them must not match a caller.
    if (!std::all_of(digits.cbegin(), digits.cend(), isDigit)) return {};
    return digits;
}

bool phoneNumbersMatch(QByteArrayView a, QByteArrayView b) {
    return digitsMatch(phoneMatchDigits(a), phoneMatchDigits(b));
}

PhoneIndex::PhoneIndex(const QList<PhoneItem>& items) {
    digits_.reserve(items.size());
    filed_.reserve(static_cast<std::size_t>(items.size()));
    for (const PhoneItem& item : items) {
        const int row = static_cast<int>(digits_.size());
        digits_.append(phoneMatchDigits(item.Phone));
        if (!digits_.back().isEmpty()) filed_.push_back({keyOf(digits_.back()), row});
    }
    // Rows were filed in ascending order: a stable sort keeps them so within a key.
    std::stable_sort(filed_.begin(), filed_.end(),
                     [](const Filed& a, const Filed& b) { return a.key < b.key; });
}

int PhoneIndex::find(QByteArrayView callerNumber) const {
    const QByteArray caller = phoneMatchDigits(callerNumber);
    if (caller.isEmpty()) return -1;
    const std::uint64_t key = keyOf(caller);
    auto at = std::lower_bound(filed_.begin(), filed_.end(), key,
                               [](const Filed& filed, std::uint64_t k) { return filed.key < k; });
    for (; at != filed_.end() && at->key == key; ++at)
        if (digitsMatch(caller, digits_[at->row])) return at->row;
    return -1;
}

} // namespace tarvik
