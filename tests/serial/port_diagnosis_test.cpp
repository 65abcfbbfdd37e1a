// What the user is told of a port that did not open, on the real file system
// and with a real program holding a terminal.
#include "serial/port_diagnosis.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <unistd.h>

namespace tarvik::comm {
namespace {

std::string describe(const std::string& port, const std::string& device, int systemError) {
    return PortError{{ERROR_GEN_FAILURE, systemError}, port, device}.errorString();
}

TEST(PortDiagnosis, TellsTheDeviceTheReasonAndTheLikelyCause) {
    QTemporaryDir dir;
    const std::string link = QFile::encodeName(dir.filePath("COM2")).toStdString();
    const std::string gone = QFile::encodeName(dir.filePath("ttyUSB0")).toStdString();
    ASSERT_EQ(::symlink(gone.c_str(), link.c_str()), 0);
    EXPECT_EQ(describe("COM2", link, ENOENT),
              "COM2 (" + link + "): No such file or directory; the link leads nowhere (" + gone +
                  "): is the modem plugged in?");
    EXPECT_EQ(describe("COM3", "/dev/ttyNONE", ENOENT),
              "COM3 (/dev/ttyNONE): No such file or directory; is the modem plugged in, and its "
              "port linked in the ports folder?");
    EXPECT_EQ(describe("COM2", "/dev/ttyS1", EIO), "COM2 (/dev/ttyS1): Input/output error");
    // A port named by its path: just the path, and no ports folder to mend.
    EXPECT_EQ(describe("/dev/ttyNONE", "/dev/ttyNONE", ENOENT),
              "/dev/ttyNONE: No such file or directory; is the modem plugged in?");

    // A terminal that another program holds.
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    QProcess holder;
    holder.setStandardInputFile(QString::fromLocal8Bit(name));
    holder.start("sleep", {"30"});
    ASSERT_TRUE(holder.waitForStarted()); // started once exec'd: it is sleep now
    EXPECT_EQ(describe("COM2", name, EBUSY), "COM2 (" + std::string(name) +
                                                 "): Device or resource busy; held by sleep (pid " +
                                                 std::to_string(holder.processId()) + ")");
    holder.kill();
    holder.waitForFinished();
    ::close(master);
    EXPECT_EQ(describe("COM2", name, EBUSY),
              "COM2 (" + std::string(name) +
                  "): Device or resource busy; another program holds "
                  "the port");
}

TEST(PortDiagnosis, NamesTheGroupTheUserIsNotIn) {
    const group* dialout = ::getgrnam("dialout");
    QTemporaryDir dir;
    const std::string device = QFile::encodeName(dir.filePath("ttyACM0")).toStdString();
    QFile(dir.filePath("ttyACM0")).open(QIODevice::WriteOnly);
    // Only root gives a file to a group it is not in.
    if (!dialout || ::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0)
        GTEST_SKIP() << "the file cannot be given to the group dialout here";
    std::vector<gid_t> groups(64);
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    if (std::count(groups.begin(), groups.begin() + std::max(count, 0), dialout->gr_gid) > 0)
        GTEST_SKIP() << "this user is in the group dialout";
    EXPECT_EQ(describe("COM2", device, EACCES),
              "COM2 (" + device +
                  "): Permission denied; you are not in the group dialout (sudo "
                  "adduser $USER dialout, then log in again)");
}

} // namespace
} // namespace tarvik::comm
