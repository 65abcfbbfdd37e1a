#include "modem/caller_screen.h"

#include "store/caller_report.h"
#include "store/codepage.h"

namespace tarvik {

QString shownCallerName(const CallerVerdict& verdict, QByteArrayView reportedName) {
    return verdict.bookName.isEmpty() ? reportedNameText(reportedName)
                                      : fromCp1251(verdict.bookName);
}

} // namespace tarvik
