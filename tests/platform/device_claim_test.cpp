#include "platform/device_claim.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;

namespace {

const QString kService = QStringLiteral("the TARVIK service (tarvikd)");
const QString kDesktop = QStringLiteral("the TARVIK desktop program (tarvik)");

class DeviceClaimTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TARVIK_LOCK_DIR", QFile::encodeName(locks_.path()));
        QDir(dev_.path()).mkpath("serial/by-id");
        QFile::link("../../ttyUSB0", byId_); // as udev makes it; dangles until plugged in
        QFile::link(byId_, dev_.filePath("COM3"));
    }
    void TearDown() override { qputenv("TARVIK_LOCK_DIR", saved_); }

    const QByteArray saved_ = qgetenv("TARVIK_LOCK_DIR");
    QTemporaryDir locks_, dev_;
    const QString device_ = dev_.filePath("ttyUSB0");
    const QString byId_ = dev_.filePath("serial/by-id/usb-Modem-if00");
};

// Claimed while the modem was unplugged: the claim must still meet the others once it is back.
TEST_F(DeviceClaimTest, EveryNameIsRefusedNamingTheHolderUntilItEndsOrDies) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const DeviceClaim claim(byId_, kService);
        if (claim.claimed() && write(ready[1], "y", 1) == 1) pause(); // until killed
        _exit(1);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the holder could not claim";
    QFile(device_).open(QIODevice::WriteOnly);
    const QString holder = kService + QStringLiteral(" (pid %1, user ").arg(child);
    for (const QString& name : {device_, byId_, dev_.filePath("COM3")}) {
        const DeviceClaim second(name, kDesktop);
        EXPECT_FALSE(second.claimed()) << name.toStdString();
        EXPECT_TRUE(second.otherHolder().startsWith(holder)) << second.otherHolder().toStdString();
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // Twice: the first of these, ended in this process, must let go as well.
    EXPECT_TRUE(DeviceClaim(device_, kDesktop).claimed());
    EXPECT_TRUE(DeviceClaim(byId_, kDesktop).claimed());
}

TEST_F(DeviceClaimTest, AHostileEntryIsNeitherFollowedNorWrittenAndItsTextIsTamed) {
    const QString lock = locks_.filePath(deviceLockName(byId_)), victim = locks_.filePath("victim");
    const QByteArray from = QFile::encodeName(victim), at = QFile::encodeName(lock);
    const QByteArray hostile = "\x1b]0;owned\x07 evil\ttext\r" + QByteArray(10240, 'A') + "\n";
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.write(hostile) > 0 && file.flush());
    for (int kind = 0; kind < 3; ++kind) { // a symbolic link, a hard link, a FIFO
        QFile::remove(lock);
        ASSERT_EQ(kind == 0 ? symlink(from, at) : kind == 1 ? link(from, at) : mkfifo(at, 0666), 0);
        EXPECT_TRUE(DeviceClaim(byId_, kService).claimed()) << kind;
    }
    EXPECT_TRUE(file.seek(0) && file.readAll() == hostile) << "written through a planted entry";
    // The same text in a real lock file, held.
    ASSERT_EQ(rename(from, at), 0);
    ASSERT_EQ(flock(file.handle(), LOCK_EX | LOCK_NB), 0);
    const QString shown = DeviceClaim(byId_, kDesktop).otherHolder();
    EXPECT_TRUE(shown.startsWith("]0;owned eviltextAAA")) << shown.toStdString();
    EXPECT_LE(shown.size(), 512);
    EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](QChar c) { return c.isPrint(); }));
}

TEST(DeviceLockName, StaysInTheFolderBoundedAndDistinct) {
    QStringList devices = {"/dev/ttyUSB0", "/dev/tty-a", "/dev/tty/a", "/dev/tty%2Fa", "/..", "/",
                           "/dev/tty%2fa", "/dev/тел",   "/dev/a\nb",  "/dev/../etc"};
    devices << "/dev/" + QString(300, 'x') + "/ttyA"
            << "/dev/" + QString(300, 'x') + "/ttyB";
    QSet<QString> locks;
    for (const QString& name : devices)
        locks.insert(deviceLockName(name));
    EXPECT_EQ(locks.size(), devices.size());
    for (const QString& lock : locks)
        EXPECT_TRUE(!lock.contains('/') && lock != ".." && QFile::encodeName(lock).size() <= 255)
            << lock.toStdString();
    EXPECT_EQ(deviceLockName("/dev/ttyUSB0"), "tarvik-dev-ttyUSB0.lock");
}

} // namespace
