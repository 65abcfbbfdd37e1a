// The phone book file of any content: every whole record loads, an incomplete
// tail and nothing else is an error, fields stay within their capacity, and the
// book saved back loads as the same rows.
#include "fake_rows.h"
#include "fuzz_support.h"

#include "platform/errors.h"
#include "store/phonebook.h"

#include <QFile>
#include <QList>

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchDir scratch;
    const QString dir = scratch.fresh();
    QFile file(phoneBookPath(dir));
    if (!file.open(QIODevice::WriteOnly)) return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    FakeRows loaded;
    bool tailError = false;
    try {
        LoadSavePhoneBook(false, loaded, dir);
    } catch (const TarvikError&) {
        tailError = true;
    }
    FUZZ_CHECK(tailError == (size % kPhoneRecordSize != 0));
    FUZZ_CHECK(loaded.rows.size() == static_cast<qsizetype>(size / kPhoneRecordSize));
    for (const FakeRows::Row& row : loaded.rows) {
        FUZZ_CHECK(row.caption.size() <= 40 && row.name.size() <= 60 && row.notes.size() <= 60);
        FUZZ_CHECK(row.status == "BAD" || row.status == "NORMAL" || row.status == "GOOD" ||
                       row.status == "PRIO",
                   row.status);
    }

    LoadSavePhoneBook(true, loaded, dir);
    FUZZ_CHECK(QFile(phoneBookPath(dir)).size() == loaded.rows.size() * kPhoneRecordSize);
    FakeRows again;
    LoadSavePhoneBook(false, again, dir);
    FUZZ_CHECK(again.rows == loaded.rows);
    return 0;
}
