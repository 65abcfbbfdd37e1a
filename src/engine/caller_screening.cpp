#include "engine/caller_screening.h"

#include "engine/caller_book.h"
#include "store/settings.h"

namespace tarvik {

CallerVerdict BookScreen::screen(QByteArrayView number, bool withheld) const {
    if (withheld) return {{}, settings_.HangUpWithheld};
    const std::optional<PhoneItem> entry = book_.lookup(number);
    if (!entry) return {};
    return {entry->Name, settings_.HangUpBad && entry->Status == psBad};
}

} // namespace tarvik
