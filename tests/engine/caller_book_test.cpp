// The phone book of callers follows its file as saves replace it.
#include "engine/caller_book.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace tarvik {
namespace {

void writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode) {
    QFile file(path);
    ASSERT_TRUE(file.open(mode));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Writes the bytes beside the book and renames them over it, as a save does;
// the book sees the new file before the rename, as from another program.
void replaceBook(const QString& folder, const QByteArray& bytes) {
    const QString fresh = folder + "phones.new";
    writeFile(fresh, bytes, QIODevice::WriteOnly);
    QCoreApplication::processEvents();
    ASSERT_EQ(std::rename(QFile::encodeName(fresh).constData(),
                          QFile::encodeName(phoneBookPath(folder)).constData()),
              0);
}

TEST(CallerBook, ReadsItsFileAgainOnceForEachSaveThatReplacesIt) {
    const QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString folder = temp.path() + '/';
    CallerBook callers;
    QList<int> loads;
    QStringList errors;
    callers.onLoaded = [&](int entries) { loads.append(entries); };
    callers.onError = [&](const QString& error) { errors.append(error); };
    const auto awaitLoads = [&](qsizetype count) {
        return QTest::qWaitFor([&] { return loads.size() >= count; }, 10'000);
    };
    // The name and status of the caller's entry, or "" for none.
    const auto entryOf = [&](QByteArrayView number) {
        const std::optional<PhoneItem> entry = callers.lookup(number);
        return entry ? entry->Name + ' ' + StatusToText(entry->Status) : QByteArray();
    };

    callers.load(folder);
    EXPECT_EQ(loads, QList<int>{0}) << "no file is an empty book";

    // The file comes, then is replaced by a broken one, then by a whole one.
    replaceBook(folder, encodePhoneRecord({"+1 (212) 555-1234", "Ann", "", psBad}) +
                            encodePhoneRecord({"5551234", "Ann at home", "", psNormal}));
    ASSERT_TRUE(awaitLoads(2));
    EXPECT_EQ(entryOf("2125551234"), "Ann BAD");

    replaceBook(folder, encodePhoneRecord({"0445 111 222", "Bob", "", psGood}) + "torn record");
    ASSERT_TRUE(awaitLoads(3));
    EXPECT_EQ(entryOf("2125551234"), "");
    EXPECT_EQ(entryOf("0445111222"), "Bob GOOD");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(phoneBookPath(folder))) << errors[0].toStdString();

    replaceBook(folder, encodePhoneRecord({"5551234", "Cy", "", psPrio}));
    ASSERT_TRUE(awaitLoads(4));
    EXPECT_EQ(entryOf("212-555-1234"), "Cy PRIO");

    // A change in place, which the folder's watch does not see.
    writeFile(phoneBookPath(folder), encodePhoneRecord({"5559876", "Di", "", psNormal}),
              QIODevice::Append);
    ASSERT_TRUE(awaitLoads(5));
    EXPECT_EQ(entryOf("5559876"), "Di NORMAL");
    EXPECT_EQ(loads, (QList<int>{0, 2, 1, 1, 2})) << "each change read once, whole records kept";
    EXPECT_EQ(errors.size(), 1);
}

} // namespace
} // namespace tarvik
