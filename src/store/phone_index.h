#pragma once
#include "store/phonebook.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstdint>
#include <vector>

namespace tarvik {

// Two numbers match when their digits are equal, or when the longer ends with
// the shorter and the shorter has at least kLocalDigits digits: a local number
// against the same number with its area or country code.
inline constexpr int kLocalDigits = 7;

// The digits of a number as the match compares them: blanks, '-', '(', ')' and
// '+' dropped, leading zeros kept. Empty when the number can match nothing: a
// number that is withheld or unknown (anything classifyReportedNumber does not
// call Known), or that holds anything but digits once those are dropped.
QByteArray phoneMatchDigits(QByteArrayView number);

bool phoneNumbersMatch(QByteArrayView a, QByteArrayView b);

// The phone book prepared for looking up callers. Every entry that can match
// is filed under its last kLocalDigits digits (all of them when it has fewer):
// whatever matches a caller is filed under the caller's own key, so a lookup
// checks one small group instead of the whole book.
class PhoneIndex {
public:
    PhoneIndex() = default;
    explicit PhoneIndex(const QList<PhoneItem>& items);

    // The row of the first entry, in the book's order, that matches the caller; -1 for none.
    int find(QByteArrayView callerNumber) const;

private:
    struct Filed {
        std::uint64_t key;
        int row;
    };
    std::vector<Filed> filed_; // by key, then row
    QList<QByteArray> digits_; // each row's phoneMatchDigits
};

} // namespace tarvik
