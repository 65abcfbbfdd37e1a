#pragma once
#include "modem/caller_screen.h"

namespace tarvik {

class CallerBook;
struct SettingsRecord;

// Callers looked up in the phone book, and hung up on as the settings ask:
// those whose entry is BAD, and those who withheld their number.
class BookScreen final : public CallerScreen {
public:
    BookScreen(const SettingsRecord& settings, const CallerBook& book)
        : settings_(settings)
        , book_(book) {}

    CallerVerdict screen(QByteArrayView number, bool withheld) const override;

private:
    const SettingsRecord& settings_;
    const CallerBook& book_;
};

} // namespace tarvik
