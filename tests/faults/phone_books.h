#pragma once
// The two phone books the saver writes by turns: different in size and content, so
// a file that is neither of them whole is a mix or a truncation.
#include "store/phonebook.h"

#include <QList>

namespace tarvik::e2e {

inline QList<PhoneItem> testPhoneBook(char which) {
    QList<PhoneItem> book;
    const int entries = which == 'a' ? 25 : 40;
    for (int i = 0; i < entries; ++i) {
        const QByteArray n = QByteArray::number(i);
        book.append({QByteArray(1, which) + "555" + n, "Name " + n + QByteArray(20, which),
                     "Notes of " + n, i % 4});
    }
    return book;
}

inline QByteArray encodedPhoneBook(char which) {
    QByteArray file;
    for (const PhoneItem& item : testPhoneBook(which))
        file += encodePhoneRecord(item);
    return file;
}

} // namespace tarvik::e2e
