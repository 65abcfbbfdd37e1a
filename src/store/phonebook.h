#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace tarvik {

enum PhoneStatus : std::int32_t { psBad = 0, psNormal = 1, psGood = 2, psPrio = 3 };

QByteArray StatusToText(std::int32_t status);
std::int32_t TextToStatus(const QByteArray& text);

struct PhoneItem {
    QByteArray Phone;
    QByteArray Name;
    QByteArray Notes;
    std::int32_t Status = psNormal;
};

// What the phone book file needs of the list that shows it. Texts are the
// file's single-byte (Windows-1251) strings; rows are a caption and three
// sub-items (name, notes, status text).
class PhoneRows {
public:
    virtual ~PhoneRows() = default;
    virtual int rowCount() const = 0;
    virtual QByteArray caption(int row) const = 0;
    virtual QByteArray subItem(int row, int index) const = 0;
    virtual void appendRow(const QByteArray& caption, const QByteArray& name,
                           const QByteArray& notes, const QByteArray& statusText) = 0;
    // Re-sort by the current sort column and direction (nothing when unsorted).
    virtual void resort() = 0;
};

inline constexpr int kPhoneRecordSize = 168;

QString phoneBookPath(const QString& programDir);

// Loads (save false) "phones.dat" of `programDir` into `rows`, or replaces the
// file with the rows (save true). A load of a file with an incomplete last record
// keeps the whole records and throws TarvikError. A save replaces the file in one
// step (see replaceFileContent); a save that fails leaves the old file, tells
// the user and returns false.
bool LoadSavePhoneBook(bool save, PhoneRows& rows, const QString& programDir);

// One record's bytes, and back (lengths beyond a field are clamped to it).
QByteArray encodePhoneRecord(const PhoneItem& item);
PhoneItem decodePhoneRecord(const char* record);

} // namespace tarvik
