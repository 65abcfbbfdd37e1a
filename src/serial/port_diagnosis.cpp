#include "serial/port_diagnosis.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::comm {
namespace {

std::string groupName(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? g->gr_name : std::to_string(gid);
}

bool inGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    return false;
}

// The programs with the device open, as "name (pid N)"; only those this user
// may look into.
std::string holders(const std::string& device) {
    const QString target = QFileInfo(QFile::decodeName(device.c_str())).canonicalFilePath();
    if (target.isEmpty()) return {};
    std::string found;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const int id = pid.toInt(&numeric);
        if (!numeric || id == ::getpid()) continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) != target) continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            const QByteArray name =
                comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray("?");
            found += (found.empty() ? "" : ", ") + name.toStdString() + " (pid " +
                     pid.toStdString() + ")";
            break;
        }
    }
    return found;
}

std::string likelyCause(const std::string& device, bool namedByPath, int systemError) {
    const QFileInfo info(QFile::decodeName(device.c_str()));
    switch (systemError) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        if (info.isSymLink() && !info.exists())
            return "the link leads nowhere (" +
                   QFile::encodeName(info.symLinkTarget()).toStdString() +
                   "): is the modem plugged in?";
        // A port named by its path has nothing in the ports folder.
        if (namedByPath) return "is the modem plugged in?";
        return "is the modem plugged in, and its port linked in the ports folder?";
    case EACCES:
    case EPERM: {
        struct stat st {};
        if (::stat(device.c_str(), &st) != 0 || inGroup(st.st_gid)) return {};
        const std::string group = groupName(st.st_gid);
        return "you are not in the group " + group + " (sudo adduser $USER " + group +
               ", then log in again)";
    }
    case EBUSY: {
        const std::string by = holders(device);
        return by.empty() ? "another program holds the port" : "held by " + by;
    }
    default:
        return {};
    }
}

} // namespace

std::string PortError::errorString() const {
    const bool namedByPath = portName == device;
    std::string text = (namedByPath ? device : portName + " (" + device + ")") + ": " +
                       (systemError ? std::strerror(systemError) : "it did not open");
    if (const std::string cause = likelyCause(device, namedByPath, systemError); !cause.empty())
        text += "; " + cause;
    return text;
}

} // namespace tarvik::comm
