#include "platform/device_claim.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
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
        saved_ = qgetenv("TARVIK_LOCK_DIR");
        qputenv("TARVIK_LOCK_DIR", QFile::encodeName(locks_.path()));
        QDir(dev_.path()).mkpath("serial/by-id");
        QFile::link("../../ttyUSB0", byId_); // as udev makes it; dangles until plugged in
        QFile::link(byId_, dev_.filePath("COM3"));
    }
    void TearDown() override { qputenv("TARVIK_LOCK_DIR", saved_); }
    void plugIn() { QFile(device_).open(QIODevice::WriteOnly); }

    QTemporaryDir locks_, dev_;
    const QString device_ = dev_.filePath("ttyUSB0");
    const QString byId_ = dev_.filePath("serial/by-id/usb-Modem-if00");

private:
    QByteArray saved_;
};

TEST_F(DeviceClaimTest, ASecondClaimUnderAnyNameIsRefusedAndNamesTheFirst) {
    plugIn();
    auto first = std::make_unique<DeviceClaim>(device_, kService);
    ASSERT_TRUE(first->claimed());
    for (const QString& name : {device_, byId_}) {
        const DeviceClaim second(name, kDesktop);
        EXPECT_FALSE(second.claimed());
        EXPECT_TRUE(second.otherHolder().startsWith(
            kService + QStringLiteral(" (pid %1, user ").arg(getpid())))
            << second.otherHolder().toStdString();
    }
    first.reset();
    EXPECT_TRUE(DeviceClaim(byId_, kDesktop).claimed());
}

TEST_F(DeviceClaimTest, AClaimMadeWhileTheModemWasUnpluggedHoldsOnceItIsBack) {
    const DeviceClaim service(byId_, kService);
    plugIn();
    EXPECT_FALSE(DeviceClaim(dev_.filePath("COM3"), kDesktop).claimed());
}

TEST_F(DeviceClaimTest, AHolderThatDiesReleasesTheDevice) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const DeviceClaim claim(byId_, kService);
        (void)!write(ready[1], claim.claimed() ? "y" : "n", 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_TRUE(
        DeviceClaim(byId_, kDesktop).otherHolder().contains(QStringLiteral("(pid %1,").arg(child)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(DeviceClaim(byId_, kDesktop).claimed());
    close(ready[0]);
    close(ready[1]);
}

TEST_F(DeviceClaimTest, AHostileEntryIsNeitherFollowedNorWrittenAndItsTextIsTamed) {
    const QString lock = locks_.filePath(deviceLockName(byId_));
    const QString victim = locks_.filePath("victim");
    const std::function<bool()> plants[] = {
        [&] { return QFile::link(victim, lock); },
        [&] { return link(QFile::encodeName(victim), QFile::encodeName(lock)) == 0; },
        [&] { return mkfifo(QFile::encodeName(lock), 0666) == 0; },
    };
    for (const auto& plant : plants) {
        QFile::remove(lock);
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("keep") == 4);
        file.close();
        ASSERT_TRUE(plant());
        EXPECT_TRUE(DeviceClaim(byId_, kService).claimed());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "keep");
    }
    QFile::remove(lock);
    QFile holder(lock);
    ASSERT_TRUE(holder.open(QIODevice::WriteOnly));
    holder.write("\x1b]0;owned\x07 evil\ttext\r" + QByteArray(10240, 'A') + "\n");
    holder.flush();
    ASSERT_EQ(flock(holder.handle(), LOCK_EX | LOCK_NB), 0);
    const QString shown = DeviceClaim(byId_, kDesktop).otherHolder();
    EXPECT_TRUE(shown.startsWith("]0;owned eviltextAAA")) << shown.toStdString();
    EXPECT_LE(shown.size(), 512);
    EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](QChar c) { return c.isPrint(); }));
}

TEST(DeviceLockName, StaysInTheFolderBoundedAndDistinct) {
    const QString longName = QStringLiteral("/dev/") + QString(300, 'x');
    const QStringList devices = {"/dev/ttyUSB0",
                                 "/dev/tty-a",
                                 "/dev/tty/a",
                                 "/dev/tty%2Fa",
                                 "/dev/tty%2fa",
                                 "/..",
                                 "/",
                                 "/dev/тел",
                                 "/dev/a\nb",
                                 "/dev/../etc",
                                 longName + "/ttyA",
                                 longName + "/ttyB"};
    QSet<QString> seen;
    for (const QString& name : devices) {
        const QString lock = deviceLockName(name);
        EXPECT_TRUE(!lock.contains('/') && lock != ".." && QFile::encodeName(lock).size() <= 255)
            << lock.toStdString();
        seen.insert(lock);
    }
    EXPECT_EQ(seen.size(), devices.size());
    EXPECT_EQ(deviceLockName("/dev/ttyUSB0"), "tarvik-dev-ttyUSB0.lock");
}

} // namespace
