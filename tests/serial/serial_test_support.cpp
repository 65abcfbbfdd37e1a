#include "serial_test_support.h"

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace tarvik::test {

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int procEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

int portThreads() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            QFile comm(
                QStringLiteral("/proc/self/task/%1/comm").arg(QString::fromLatin1(e->d_name)));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("tarvik-")) ++n;
        }
        ::closedir(d);
    }
    return n;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    // The timer only bounds each blocking wait for events.
    QTimer tick;
    tick.start(10);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pumpFor(std::chrono::milliseconds time) {
    pumpUntil([] { return false; }, time);
}

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    path_ = ::ptsname(master_);
    spare_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(spare_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(spare_, TCSANOW, &t);
}

PtyPair::~PtyPair() {
    closeSpare();
    closeMaster();
}

void PtyPair::send(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) throw std::runtime_error("pty write failed");
        if (n > 0) done += static_cast<std::size_t>(n);
    }
}

std::string PtyPair::receive(std::size_t count, std::chrono::milliseconds limit) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::closeSpare() {
    if (spare_ >= 0) ::close(spare_);
    spare_ = -1;
}

ScopedConfigHome::ScopedConfigHome()
    : previous_(qgetenv("XDG_CONFIG_HOME"))
    , hadPrevious_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    QDir().mkpath(portsDir());
}

ScopedConfigHome::~ScopedConfigHome() {
    if (hadPrevious_)
        qputenv("XDG_CONFIG_HOME", previous_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

void ScopedConfigHome::linkCom(int number, const std::string& target) const {
    const QString link = portsDir() + QStringLiteral("/COM") + QString::number(number);
    QFile::remove(link);
    QFile::link(QString::fromStdString(target), link);
}

void ScopedConfigHome::writeCom(int number, const std::string& content) const {
    QFile file(portsDir() + QStringLiteral("/COM") + QString::number(number));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content.data(), static_cast<qint64>(content.size()));
}

} // namespace tarvik::test
