#include "store/phone_index.h"

#include <gtest/gtest.h>
#include <vector>

using namespace tarvik;

namespace {

// Each row: a book, a caller, and the rows of the book that match the caller.
// The index must give the first of them, and the rule for two numbers all of them.
TEST(PhoneIndex, FindsTheFirstEntryInBookOrderThatMatchesTheCaller) {
    struct Row {
        QList<QByteArray> book;
        QByteArray caller;
        std::vector<int> matching;
    };
    const Row table[] = {
        {{"4441234", "5551234567"}, "5551234567", {1}},
        {{"+1 (555) 123-4567"}, "15551234567", {0}},
        {{"15551234567"}, " +1 555\t123-4567 ", {0}},
        // A local number against the same with the area code, both ways.
        {{"555-1234"}, "(212) 555-1234", {0}},
        {{"212 555 1234"}, "5551234", {0}},
        // Six digits only match as a whole.
        {{"551234"}, "2125551234", {}},
        {{"2125551234"}, "551234", {}},
        {{"551234"}, "551-234", {0}},
        // The first in the book wins, shorter or longer; one sharing the last
        // seven digits that is neither matches nothing.
        {{"5551234", "2125551234"}, "2125551234", {0, 1}},
        {{"12125551234", "5551234"}, "2125551234", {0, 1}},
        {{"3125551234", "2125551234", "5551234"}, "2125551234", {1, 2}},
        // Withheld, unknown and empty callers, and entries that say so.
        {{"5551234", "PRIVATE", "P", ""}, "PRIVATE", {}},
        {{"5551234", "0000000"}, "P", {}},
        {{"5551234"}, "ANONYMOUS", {}},
        {{"5551234", "O"}, "O", {}},
        {{"5551234", ""}, "", {}},
        {{"0000000"}, "0000000", {}},
        // Dial strings are not callers, even where their digits end alike.
        {{"9,5551234", "*675551234", "5551234#", "CALL5551234", "555 1234"}, "5551234", {4}},
        {{"5551234"}, "555CALL1234", {}},
        // Leading zeros are digits like the others.
        {{"0123456"}, "123456", {}},
        {{"0123456"}, "0123456", {0}},
        {{"01234"}, "1234", {}},
        {{"0445551234"}, "00445551234", {0}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE("caller \"" + row.caller.toStdString() + "\"");
        QList<PhoneItem> items;
        for (const QByteArray& phone : row.book)
            items.append({phone, "name", "notes", psNormal});
        EXPECT_EQ(PhoneIndex(items).find(row.caller), row.matching.empty() ? -1 : row.matching[0]);
        std::vector<int> matching, reversed;
        for (int i = 0; i < row.book.size(); ++i) {
            if (phoneNumbersMatch(row.caller, row.book[i])) matching.push_back(i);
            if (phoneNumbersMatch(row.book[i], row.caller)) reversed.push_back(i);
        }
        EXPECT_EQ(matching, row.matching);
        EXPECT_EQ(reversed, row.matching);
    }
}

} // namespace
