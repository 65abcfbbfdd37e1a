#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tarvik {

// What becomes of a caller before it is shown.
struct CallerVerdict {
    // The phone book entry's name (Windows-1251); empty without an entry.
    QByteArray bookName;
    // The call is hung up at once and not shown.
    bool hangUp = false;
};

// Looks a caller up and decides on the call; the kinds carry the decision out.
class CallerScreen {
public:
    virtual ~CallerScreen() = default;
    // `number` as reported, whole; `withheld` when the caller withheld it or
    // the network could not deliver it.
    virtual CallerVerdict screen(QByteArrayView number, bool withheld) const = 0;
};

// The name to show: the phone book's before the one the modem or server sent.
QString shownCallerName(const CallerVerdict& verdict, QByteArrayView reportedName);

// Nobody in the book, nothing hung up: for a program without a phone book.
inline const CallerScreen& noCallerScreen() {
    struct Nobody final : CallerScreen {
        CallerVerdict screen(QByteArrayView, bool) const override { return {}; }
    };
    static const Nobody nobody;
    return nobody;
}

} // namespace tarvik
