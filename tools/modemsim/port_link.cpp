#include "port_link.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace tarvik::modemsim {
namespace fs = std::filesystem;
namespace {

std::string systemMessage(int error) {
    return std::strerror(error);
}

std::string readPid(int fd) {
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    std::string pid(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
        pid.pop_back();
    return pid.empty() ? "unknown" : pid;
}

bool isSimulatorTarget(const fs::path& link, const fs::path& target) {
    std::error_code error;
    const bool exists = fs::exists(link, error); // follows the link
    return !exists || target.string().starts_with("/dev/pts/");
}

} // namespace

PortLink::PortLink(const std::string& folder, int port, const std::string& target, bool force)
    : folder_(folder)
    , name_("COM" + std::to_string(port))
    , path_(folder + "/" + name_) {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error)
        throw std::runtime_error("cannot create the ports folder " + folder_ + ": " +
                                 error.message());

    const std::string lockPath = folder_ + "/." + name_ + ".lock";
    lock_.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock_) throw std::runtime_error("cannot open " + lockPath + ": " + systemMessage(errno));
    if (::flock(lock_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            throw std::runtime_error(name_ + " is already served by another tarvik-modemsim (pid " +
                                     readPid(lock_.get()) + "); choose another --port");
        throw std::runtime_error("cannot lock " + lockPath + ": " + systemMessage(errno));
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock_.get(), 0) != 0 ||
        ::pwrite(lock_.get(), pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
        throw std::runtime_error("cannot write " + lockPath + ": " + systemMessage(errno));

    const fs::file_status status = fs::symlink_status(path_, error);
    if (fs::is_symlink(status)) {
        const fs::path old = fs::read_symlink(path_, error);
        if (!force && !isSimulatorTarget(path_, old))
            throw std::runtime_error(path_ + " already names " + old.string() +
                                     ", which is no simulator; use --force to replace it");
    } else if (fs::exists(status)) {
        if (!force || fs::is_directory(status))
            throw std::runtime_error(path_ + " already exists and is no simulator link" +
                                     std::string(force ? "" : "; use --force to replace it"));
    }
    place(target);
}

PortLink::~PortLink() {
    // Only our own link: a user may have put something else there since.
    std::error_code error;
    if (fs::read_symlink(path_, error) == target_ && !error) fs::remove(path_, error);
}

void PortLink::withdraw() {
    try {
        place(folder_ + "/." + name_ + ".away");
    } catch (const std::runtime_error&) {
        // A folder that became read-only keeps the old link; the modem is gone all the same.
    }
}

void PortLink::retarget(const std::string& target) {
    place(target);
}

void PortLink::place(const std::string& target) {
    const std::string temporary = folder_ + "/." + name_ + ".new";
    std::error_code error;
    fs::remove(temporary, error);
    fs::create_symlink(target, temporary, error);
    if (!error) fs::rename(temporary, path_, error);
    if (error) {
        const std::string reason = error.message();
        fs::remove(temporary, error);
        throw std::runtime_error("cannot create the link " + path_ + ": " + reason);
    }
    target_ = target;
}

} // namespace tarvik::modemsim
