#pragma once
// The two phone books the saver writes by turns: different in size and content, so
// a file that is neither of them whole is a mix or a truncation.
#include "store/codepage.h"
#include "store/phonebook.h"

#include <QList>

#include <random>

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

// The file of a book of `entries` made-up entries, varied as a user's book is:
// numbers of 5 to 11 digits, some written with blanks and dashes; Latin and
// Cyrillic names, many of them alike; notes with dates, times, numbers and words;
// every status and now and then one the dialog cannot make. The same entries
// for the same count.
inline QByteArray bigPhoneBook(int entries) {
    static const QByteArray surnames[] = {"Smith",
                                          "Brown",
                                          "Miller",
                                          toCp1251(u"Иванов"),
                                          toCp1251(u"Петрова"),
                                          toCp1251(u"Сидоров"),
                                          "Kovacs",
                                          toCp1251(u"Орлов"),
                                          "O'Neil",
                                          toCp1251(u"ёлкин")};
    static const QByteArray firstNames[] = {
        "Anna", "John", toCp1251(u"Ольга"), "boris", toCp1251(u"Юрий"), "Eve", toCp1251(u"Пётр")};
    static const QByteArray words[] = {"office", toCp1251(u"дача"), "after 18:00", "ext. 12",
                                       toCp1251(u"не отвечать")};
    std::mt19937 random(static_cast<std::mt19937::result_type>(entries));
    const auto pick = [&random](const auto& list) -> const QByteArray& {
        return list[random() % std::size(list)];
    };
    const auto digits = [&random](int count) {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += static_cast<char>('0' + random() % 10);
        return text;
    };
    QByteArray file;
    file.reserve(static_cast<qsizetype>(entries) * kPhoneRecordSize);
    for (int i = 0; i < entries; ++i) {
        PhoneItem item;
        item.Phone = random() % 10 == 0 ? "+7 " + digits(3) + " " + digits(3) + "-" + digits(2)
                                        : digits(5 + static_cast<int>(random() % 7));
        item.Name = pick(surnames) + " " + pick(firstNames);
        switch (random() % 5) {
        case 0: // a date in the C locale's short form
            item.Notes = QByteArray::number(1 + random() % 12) + "/" +
                         QByteArray::number(1 + random() % 28) + "/" + digits(2);
            break;
        case 1:
            item.Notes = QByteArray::number(random() % 24) + ":" + digits(2);
            break;
        case 2:
            item.Notes = QByteArray::number(static_cast<int>(random() % 1000));
            break;
        case 3:
            item.Notes = pick(words);
            break;
        default:
            break;
        }
        item.Status = static_cast<std::int32_t>(random() % 9 == 0 ? 7 : random() % 4);
        file += encodePhoneRecord(item);
    }
    return file;
}

} // namespace tarvik::e2e
