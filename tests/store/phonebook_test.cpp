#include "fake_rows.h"
#include "store_fixture.h"

#include "store/codepage.h"
#include "store/phonebook.h"

#include <QList>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>

using namespace tarvik;

namespace {

// One record made by hand, field by field, as the file format lays it out.
QByteArray handRecord(const QByteArray& phone, const QByteArray& name, const QByteArray& notes,
                      quint32 status, int phoneLen = -1, int nameLen = -1, int notesLen = -1) {
    QByteArray r(168, '\0');
    r[0] = static_cast<char>(phoneLen < 0 ? phone.size() : phoneLen);
    r.replace(1, phone.size(), phone);
    r[41] = static_cast<char>(nameLen < 0 ? name.size() : nameLen);
    r.replace(42, name.size(), name);
    r[102] = static_cast<char>(notesLen < 0 ? notes.size() : notesLen);
    r.replace(103, notes.size(), notes);
    r[164] = static_cast<char>(status & 0xFF);
    r[165] = static_cast<char>(status >> 8 & 0xFF);
    r[166] = static_cast<char>(status >> 16 & 0xFF);
    r[167] = static_cast<char>(status >> 24 & 0xFF);
    return r;
}

class PhoneBookTest : public StoreTest {
protected:
    QString file() const { return programDir_ + "phones.dat"; }
    FakeRows loadRows() {
        FakeRows rows;
        LoadSavePhoneBook(false, rows, programDir_);
        return rows;
    }
};

TEST_F(PhoneBookTest, LoadsHandMadeRecordsByteForByte) {
    const QByteArray ivan = toCp1251(u"Иван Петров");
    writeAll(file(), handRecord("0123456789", ivan, "work", 3) + handRecord("5", "", "", 7) +
                         handRecord("", "B", "x", 0));
    const FakeRows rows = loadRows();
    ASSERT_EQ(rows.rowCount(), 3);
    EXPECT_EQ(rows.caption(0), "0123456789");
    EXPECT_EQ(rows.subItem(0, 0), ivan);
    EXPECT_EQ(rows.subItem(0, 1), "work");
    EXPECT_EQ(rows.subItem(0, 2), "PRIO");
    EXPECT_EQ(rows.subItem(1, 2), "NORMAL") << "an unknown status shows as NORMAL";
    EXPECT_EQ(rows.subItem(2, 2), "BAD");
    EXPECT_EQ(rows.resorts, 1);
}

TEST_F(PhoneBookTest, SavesRecordsAsTheFileLaysThemOut) {
    FakeRows rows;
    const QByteArray name = toCp1251(u"Ёлка");
    rows.appendRow("123", name, "n", "GOOD");
    rows.appendRow(QByteArray(45, '9'), QByteArray(70, 'N'), QByteArray(61, 'o'), "good");
    LoadSavePhoneBook(true, rows, programDir_);
    EXPECT_TRUE(recorder_->boxes().isEmpty());
    EXPECT_EQ(readAll(file()),
              handRecord("123", name, "n", 2) +
                  handRecord(QByteArray(40, '9'), QByteArray(60, 'N'), QByteArray(60, 'o'), 1));
}

TEST_F(PhoneBookTest, LengthBytesBeyondAFieldAreClamped) {
    QByteArray record =
        handRecord(QByteArray(40, '1'), QByteArray(60, 'a'), QByteArray(60, 'b'), 1, 200, 61, 255);
    writeAll(file(), record);
    const FakeRows rows = loadRows();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.caption(0), QByteArray(40, '1'));
    EXPECT_EQ(rows.subItem(0, 0), QByteArray(60, 'a'));
    EXPECT_EQ(rows.subItem(0, 1), QByteArray(60, 'b'));
}

TEST_F(PhoneBookTest, AnIncompleteTailKeepsTheWholeRecordsAndRaises) {
    writeAll(file(),
             handRecord("1", "a", "", 1) + handRecord("2", "b", "", 1) + QByteArray(100, 'x'));
    FakeRows rows;
    EXPECT_THROW(LoadSavePhoneBook(false, rows, programDir_), TarvikError);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.caption(1), "2");
    EXPECT_EQ(rows.resorts, 0) << "rows stay in file order";
}

TEST_F(PhoneBookTest, EmptyAndMissingFiles) {
    EXPECT_EQ(loadRows().rowCount(), 0) << "no file";
    writeAll(file(), {});
    EXPECT_EQ(loadRows().rowCount(), 0);
    FakeRows empty;
    writeAll(file(), handRecord("1", "", "", 1));
    LoadSavePhoneBook(true, empty, programDir_);
    EXPECT_TRUE(QFile::exists(file()));
    EXPECT_EQ(QFile(file()).size(), 0);
}

TEST_F(PhoneBookTest, SaveKeepsRowOrderAndDuplicates) {
    FakeRows rows;
    rows.sortColumn = 1;
    rows.appendRow("1", "Zoe", "", "NORMAL");
    rows.appendRow("1", "Adam", "", "NORMAL");
    rows.resort();
    LoadSavePhoneBook(true, rows, programDir_);
    const FakeRows back = loadRows();
    ASSERT_EQ(back.rowCount(), 2);
    EXPECT_EQ(back.subItem(0, 0), "Adam");
    EXPECT_EQ(back.subItem(1, 0), "Zoe");
}

TEST_F(PhoneBookTest, ASaveThatCannotCreateItsFileTellsTheUserAndWritesNothing) {
    FakeRows rows;
    rows.appendRow("1", "a", "", "NORMAL");
    LoadSavePhoneBook(true, rows, programDir_ + "missing/");
    ASSERT_EQ(recorder_->boxes().size(), 1);
    EXPECT_EQ(recorder_->boxes()[0].caption, "Error");
    EXPECT_EQ(recorder_->boxes()[0].text, "Save Phone Book!");
}

TEST_F(PhoneBookTest, ASaveThatFailsMidwayLeavesTheOldFileWhole) {
    const QByteArray old = handRecord("111", "old", "", 1) + handRecord("222", "old", "", 2);
    writeAll(file(), old);
    FakeRows rows;
    for (int i = 0; i < 40; ++i)
        rows.appendRow(QByteArray::number(i), "new", "", "GOOD");

    // Files may not grow past 1000 bytes: the save's writes fail part of the way through.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    LoadSavePhoneBook(true, rows, programDir_);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(readAll(file()), old);
    EXPECT_EQ(recorder_->boxes().size(), 1);
    EXPECT_EQ(QDir(programDir_).entryList(QDir::Files), QStringList{"phones.dat"})
        << "no temporary file left";
}

TEST_F(PhoneBookTest, SaveKeepsTheFilesPermissions) {
    writeAll(file(), {});
    QFile::setPermissions(file(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    FakeRows rows;
    rows.appendRow("1", "", "", "NORMAL");
    LoadSavePhoneBook(true, rows, programDir_);
    const auto modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(file()) & modeBits,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

TEST(PhoneStatus, TextsBothWays) {
    EXPECT_EQ(StatusToText(0), "BAD");
    EXPECT_EQ(StatusToText(1), "NORMAL");
    EXPECT_EQ(StatusToText(2), "GOOD");
    EXPECT_EQ(StatusToText(3), "PRIO");
    EXPECT_EQ(StatusToText(-1), "NORMAL");
    EXPECT_EQ(TextToStatus("PRIO"), 3);
    EXPECT_EQ(TextToStatus("good"), 1);
    EXPECT_EQ(TextToStatus(" BAD"), 1);
}

} // namespace
