#include "fake_rows.h"
#include "store_fixture.h"

#include "store/codepage.h"
#include "store/phonebook.h"

#include <QList>
#include <algorithm>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

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

// A big book comes in several reads; no record is lost or split between them.
TEST_F(PhoneBookTest, BigBooksLoadEveryRecordInOrderAndATailStillRaises) {
    for (const int count : {255, 256, 257, 1000, 4096}) {
        SCOPED_TRACE(count);
        QByteArray book;
        for (int i = 0; i < count; ++i)
            book += handRecord(QByteArray::number(i), "n" + QByteArray::number(i), "", i % 4);
        writeAll(file(), book);
        const FakeRows rows = loadRows();
        ASSERT_EQ(rows.rowCount(), count);
        for (const int i : {0, count / 2, count - 1}) {
            EXPECT_EQ(rows.caption(i), QByteArray::number(i));
            EXPECT_EQ(rows.subItem(i, 0), "n" + QByteArray::number(i));
            EXPECT_EQ(rows.subItem(i, 2), StatusToText(i % 4));
        }

        writeAll(file(), book + QByteArray(167, 'x'));
        FakeRows partial;
        EXPECT_THROW(LoadSavePhoneBook(false, partial, programDir_), TarvikError);
        EXPECT_EQ(partial.rowCount(), count) << "the whole records before the tail";
        EXPECT_EQ(partial.resorts, 0);
    }
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
    const int boxes = inChildWithFileSizeLimit(1000, [&] {
        LoadSavePhoneBook(true, rows, programDir_);
        return static_cast<int>(recorder_->boxes().size());
    });
    EXPECT_EQ(readAll(file()), old);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(QDir(programDir_).entryList(QDir::Files), QStringList{"phones.dat"})
        << "no temporary file left";
}

// The file on disk: where links lead, its mode and owner, and what killed saves left.

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

struct stat statOf(const QString& path) {
    struct stat info {};
    ::lstat(encoded(path).constData(), &info);
    return info;
}

QByteArray linkText(const QString& path) {
    char text[4096];
    const ssize_t length = ::readlink(encoded(path).constData(), text, sizeof text);
    return length < 0 ? QByteArray() : QByteArray(text, length);
}

// Sets a file's (or a link's own) modification time `seconds` into the past.
void makeOlder(const QString& path, int seconds) {
    const timespec then{std::time(nullptr) - seconds, 0};
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, encoded(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class Umask {
public:
    explicit Umask(mode_t mask)
        : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }

private:
    mode_t previous_;
};

class PhoneBookFileTest : public PhoneBookTest {
protected:
    PhoneBookFileTest() { rows.appendRow("555", "new", "", "GOOD"); }
    void save() { LoadSavePhoneBook(true, rows, programDir_); }
    static QByteArray newBook() { return encodePhoneRecord({"555", "new", "", psGood}); }
    QString synced(const QString& name = {}) const {
        QDir().mkpath(path("synced"));
        return path("synced/") + name;
    }
    static void link(const QString& link, const QByteArray& target) {
        ASSERT_EQ(::symlink(target.constData(), encoded(link).constData()), 0);
    }
    static QStringList entries(const QString& folder) {
        QStringList names =
            QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }

    FakeRows rows;
};

TEST_F(PhoneBookFileTest, SavesThroughLinksToWhereTheyLeadAndKeepsTheLinks) {
    struct Case {
        const char* what;
        QByteArray link;  // where phones.dat points
        QString hop;      // a second link in the program folder, if any
        QByteArray hopTo; // where that one points
        QString target;   // the file that gets the book
        bool existed;
    };
    const QByteArray absolute = encoded(synced("absolute.dat"));
    const Case cases[] = {
        {"absolute", absolute, {}, {}, synced("absolute.dat"), true},
        {"relative", "../synced/relative.dat", {}, {}, synced("relative.dat"), true},
        {"chain", "hop", programDir_ + "hop", "../synced/chain.dat", synced("chain.dat"), true},
        {"dangling", "../synced/created.dat", {}, {}, synced("created.dat"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(file());
        if (c.existed) writeAll(c.target, "old");
        link(file(), c.link);
        if (!c.hop.isEmpty()) link(c.hop, c.hopTo);

        save();
        EXPECT_EQ(linkText(file()), c.link);
        if (!c.hop.isEmpty()) {
            EXPECT_EQ(linkText(c.hop), c.hopTo);
        }
        EXPECT_EQ(readAll(c.target), newBook());
        EXPECT_EQ(loadRows().rowCount(), 1) << "the next load reads it through the link";
    }
    EXPECT_TRUE(recorder_->boxes().isEmpty());
    EXPECT_EQ(entries(synced()),
              QStringList({"absolute.dat", "chain.dat", "created.dat", "relative.dat"}))
        << "no temporary file left";
    EXPECT_EQ(entries(programDir_), QStringList({"hop", "phones.dat"}));
}

TEST_F(PhoneBookFileTest, ASaveThroughALinkThatFailsMidwayLeavesTheTargetWhole) {
    writeAll(synced("book.dat"), "old");
    link(file(), "../synced/book.dat");
    for (int i = 0; i < 40; ++i)
        rows.appendRow(QByteArray::number(i), "new", "", "GOOD");
    const int boxes = inChildWithFileSizeLimit(1000, [&] {
        save();
        return static_cast<int>(recorder_->boxes().size());
    });
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(readAll(synced("book.dat")), "old");
    EXPECT_EQ(linkText(file()), "../synced/book.dat");
    EXPECT_EQ(entries(synced()), QStringList{"book.dat"});
}

// A rename cannot cross file systems: the book reaches a target on another one
// only when its temporary file is made beside the target.
TEST_F(PhoneBookFileTest, ALinkToAnotherFileSystemIsSavedThere) {
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/tarvik-test-XXXXXX"));
    if (!elsewhere.isValid() || statOf(elsewhere.path()).st_dev == statOf(programDir_).st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const QString target = elsewhere.filePath("phones.dat");
    writeAll(target, "old");
    link(file(), encoded(target));
    save();
    EXPECT_EQ(readAll(target), newBook());
    EXPECT_EQ(linkText(file()), encoded(target));
    EXPECT_TRUE(recorder_->boxes().isEmpty());
}

TEST_F(PhoneBookFileTest, ANewBookGetsTheModeTheUmaskGives) {
    for (const auto& [mask, mode] : {std::pair{0077, 0600}, {0027, 0640}, {0002, 0664}}) {
        const Umask umask(static_cast<mode_t>(mask));
        QFile::remove(file());
        save();
        EXPECT_EQ(statOf(file()).st_mode & 07777, static_cast<mode_t>(mode)) << "umask " << mask;
    }
}

TEST_F(PhoneBookFileTest, AReplacedBookKeepsItsModeOwnerAndGroup) {
    writeAll(file(), "old");
    ASSERT_EQ(::chmod(encoded(file()).constData(), 0640), 0);
    // Root can hand the file to someone else, as another user's file would be.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(encoded(file()).constData(), 65534, 65534), 0);
    }
    const struct stat before = statOf(file());
    for (const mode_t mask : {0077, 0000}) {
        const Umask umask(mask);
        save();
        const struct stat after = statOf(file());
        EXPECT_EQ(after.st_mode & 07777, 0640u) << "umask " << mask;
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
    }
    EXPECT_EQ(readAll(file()), newBook());
}

TEST_F(PhoneBookFileTest, AnOwnerThatCannotBeKeptDoesNotStopTheSave) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and the user nobody";
    // A book of root's that nobody may write, in a folder nobody may write.
    ASSERT_EQ(::chmod(encoded(path("")).constData(), 0755), 0);
    ASSERT_EQ(::chmod(encoded(programDir_).constData(), 0777), 0);
    writeAll(file(), "old");
    ASSERT_EQ(::chmod(encoded(file()).constData(), 0666), 0);

    const int boxes = inChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
            ::setuid(nobody->pw_uid) != 0)
            return 100;
        save();
        return static_cast<int>(recorder_->boxes().size());
    });
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(readAll(file()), newBook());
    EXPECT_EQ(statOf(file()).st_uid, nobody->pw_uid);
    EXPECT_EQ(statOf(file()).st_mode & 07777, 0666u);
}

TEST_F(PhoneBookFileTest, StaleTemporaryFilesOfKilledSavesGoAndNothingElse) {
    const QStringList stale{"phones.dat.a1B2c3", "phones.dat.ZZZZZZ"};
    const QStringList strangers{
        "phones.dat.bak",     "phones.dat.12345", "phones.dat.1234567",
        "phones.dat.ab-c_d",  "phones.dat~",      "phones.dat.a1B2c3.x",
        "xphones.dat.a1B2c3", "other.dat.a1B2c3", "PHONES.DAT.a1B2c3",
    };
    for (const QString& name : stale + strangers + QStringList{"phones.dat.Recent"})
        writeAll(programDir_ + name, "x");
    QDir(programDir_).mkdir("phones.dat.Dir123");
    link(programDir_ + "phones.dat.Lnk123", "phones.dat.bak");
    for (const QString& name : entries(programDir_))
        makeOlder(programDir_ + name, 120);
    // As old as the file of a save running now in another process may be.
    makeOlder(programDir_ + "phones.dat.Recent", 50);

    save();
    QStringList left = strangers + QStringList{"phones.dat.Recent", "phones.dat.Dir123",
                                               "phones.dat.Lnk123", "phones.dat"};
    left.sort();
    EXPECT_EQ(entries(programDir_), left);
    EXPECT_EQ(readAll(file()), newBook());
}

TEST_F(PhoneBookFileTest, StaleTemporaryFilesBesideALinksTargetGo) {
    writeAll(synced("book.dat"), "old");
    writeAll(synced("book.dat.Old123"), "x");
    makeOlder(synced("book.dat.Old123"), 120);
    link(file(), "../synced/book.dat");
    save();
    EXPECT_EQ(entries(synced()), QStringList{"book.dat"});
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
