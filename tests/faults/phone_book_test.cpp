// The phone book file through saves that are killed half-way or refused: the file
// is always one whole phone book, the old or the new, never a mix or a truncation.
#include "phone_books.h"

#include "e2e_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
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

// The temporary files in the folder: a save killed after it made its own and
// before renaming it over the book leaves one behind.
QStringList temporaries(const QString& folder) {
    return QDir(folder).entryList({"phones.dat.??????"}, QDir::Files);
}

// How long one save takes on this machine at this moment, in microseconds.
int saveMicroseconds(const QString& folder) {
    constexpr int kTimedSaves = 20;
    Saver saver(folder, 1000);
    if (!eventually([&] { return saver.saves() > 0; }, 30s)) return 1000;
    QElapsedTimer clock;
    clock.start();
    const int first = saver.saves();
    eventually([&] { return saver.saves() >= first + kTimedSaves; }, 30s);
    return static_cast<int>(
        std::max<qint64>(1, clock.nsecsElapsed() / 1000 / std::max(1, saver.saves() - first)));
}

TEST(PhoneBookSave, KilledAtRandomMomentsTheFileIsAlwaysOneWholeBook) {
    constexpr int kKillsInsideASave = 50;
    QTemporaryDir dir;
    const QString path = phoneBookPath(dir.path() + '/');
    const QByteArray a = encodedPhoneBook('a'), b = encodedPhoneBook('b');
    ASSERT_EQ(Saver(dir.path(), 1, "a").finish(), 0);
    ASSERT_EQ(contents(path), a);

    // Kills fall anywhere in about two saves, however long a save takes here.
    const int killWindowUs = 2 * saveMicroseconds(dir.path());
    auto* random = QRandomGenerator::global();
    int kills = 0, inside = 0;
    QElapsedTimer clock;
    clock.start();
    // Only kills inside a save test it: go on until enough of them have landed.
    while (inside < kKillsInsideASave && clock.elapsed() < 150'000) {
        const QStringList before = temporaries(dir.path());
        Saver saver(dir.path(), 1000);
        ASSERT_TRUE(eventually([&] { return saver.saves() > 0; }, 30s));
        QThread::usleep(random->bounded(killWindowUs));
        saver.kill();
        ++kills;
        const QStringList after = temporaries(dir.path());
        inside += std::any_of(after.begin(), after.end(),
                              [&before](const QString& name) { return !before.contains(name); });
        const QByteArray now = contents(path);
        ASSERT_TRUE(now == a || now == b)
            << "after " << kills << " kills, " << inside << " inside a save, the file holds "
            << now.size() << " bytes";
    }
    EXPECT_GE(inside, kKillsInsideASave)
        << kills << " kills in " << clock.elapsed() << " ms, a save taking about "
        << killWindowUs / 2 << " us";
    // What killed saves left behind are their own temporary files, never the book.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList{"phones.dat"} + temporaries(dir.path()));
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
