// The phone book file through saves that are killed half-way or refused: the file
// is always one whole phone book, the old or the new, never a mix or a truncation.
#include "phone_books.h"

#include "e2e_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace tarvik::e2e {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Who runs the saver: empty for this process's user, else a user and group id
// (root is not stopped by a folder's permissions).
struct RunAs {
    QString uid, gid;
};

class Saver {
public:
    Saver(const QString& folder, long saves, const QString& book = {}, const RunAs& as = {}) {
        QStringList args{folder, QString::number(saves)};
        if (!book.isEmpty()) args << book;
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        if (as.uid.isEmpty())
            process_.start(PHONE_BOOK_SAVER, args);
        else
            process_.start("setpriv", QStringList{"--reuid", as.uid, "--regid", as.gid,
                                                  "--clear-groups", PHONE_BOOK_SAVER} +
                                          args);
        process_.waitForStarted();
    }
    ~Saver() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    int finish() {
        process_.waitForFinished(30000);
        return process_.exitCode();
    }
    void kill() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }
    // Saves the saver has reported so far.
    int saves() {
        process_.waitForReadyRead(20);
        output_ += process_.readAllStandardOutput();
        return static_cast<int>(output_.count("saved "));
    }
    QByteArray errors() { return process_.readAllStandardError(); }

private:
    QProcess process_;
    QByteArray output_;
};

TEST(PhoneBookSave, KilledAtRandomMomentsTheFileIsAlwaysOneWholeBook) {
    QTemporaryDir dir;
    const QString path = phoneBookPath(dir.path() + '/');
    const QByteArray a = encodedPhoneBook('a'), b = encodedPhoneBook('b');
    ASSERT_EQ(Saver(dir.path(), 1, "a").finish(), 0);
    ASSERT_EQ(contents(path), a);

    auto* random = QRandomGenerator::global();
    int saves = 0, kills = 0;
    while (saves < 200) {
        Saver saver(dir.path(), 1000);
        // Let it start and save a few times, then kill it somewhere in a save.
        eventually([&] { return saver.saves() > 0; }, 5s);
        QThread::usleep(random->bounded(2000)); // a save takes about half of that
        saver.kill();
        saves += saver.saves();
        ++kills;
        const QByteArray now = contents(path);
        ASSERT_TRUE(now == a || now == b) << "after " << saves << " saves and " << kills
                                          << " kills the file holds " << now.size() << " bytes";
    }
    EXPECT_GE(kills, 50);
    // What a killed save left behind is its own temporary file, never the book.
    QDir folder(dir.path());
    EXPECT_EQ(folder.entryList({"phones.dat"}, QDir::Files).size(), 1);
}

TEST(PhoneBookSave, AFolderThatBecameReadOnlyKeepsTheOldBook) {
    QTemporaryDir dir;
    RunAs user;
    if (::geteuid() == 0) {
        // Root writes anyway; the saver runs as nobody in a folder of nobody's.
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "needs the user nobody and setpriv";
        user = {QString::number(nobody->pw_uid), QString::number(nobody->pw_gid)};
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
        ASSERT_EQ(
            ::chown(QFile::encodeName(dir.path()).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const QString path = phoneBookPath(dir.path() + '/');
    ASSERT_EQ(Saver(dir.path(), 1, "a", user).finish(), 0);
    ASSERT_EQ(contents(path), encodedPhoneBook('a'));

    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    Saver refused(dir.path(), 3, "b", user);
    EXPECT_EQ(refused.finish(), 0);
    EXPECT_EQ(refused.saves(), 3);
    EXPECT_TRUE(refused.errors().contains("Save Phone Book!")) << "the user is told";
    EXPECT_EQ(contents(path), encodedPhoneBook('a'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"phones.dat"});
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
} // namespace tarvik::e2e
