#include "sim_support.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvik::modemsim::test {

long long msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "modemsim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

PortClient::PortClient(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
    termios mode{};
    ::tcgetattr(fd_, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(fd_, TCSANOW, &mode);
    ::tcflush(fd_, TCIOFLUSH);
}

PortClient::~PortClient() {
    ::close(fd_);
}

void PortClient::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("write to the port failed");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool PortClient::fill(Clock::time_point deadline) {
    if (hungUp_) return false;
    const auto left = std::max(0LL, msBetween(Clock::now(), deadline));
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[1024];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
        buffered_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    hungUp_ = true;
    return false;
}

std::string PortClient::readUntil(std::string_view expected, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!std::string_view(buffered_).ends_with(expected) && fill(deadline)) {
    }
    return std::exchange(buffered_, {});
}

std::string PortClient::readFor(milliseconds window) {
    const auto deadline = Clock::now() + window;
    while (Clock::now() < deadline && fill(deadline)) {
    }
    return std::exchange(buffered_, {});
}

std::optional<std::string> PortClient::readLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t end;
    while ((end = buffered_.find('\n')) == std::string::npos)
        if (!fill(deadline)) return std::nullopt;
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    std::erase(line, '\r');
    return line;
}

bool PortClient::waitForHangup(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!hungUp_) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::max(0LL, msBetween(Clock::now(), deadline)))) <= 0)
            return false;
        if (fd.revents & (POLLHUP | POLLERR)) return true;
        fill(deadline);
    }
    return true;
}

void PortClient::makeExclusive() {
    ::ioctl(fd_, TIOCEXCL);
}

bool PortClient::exclusive() const {
    int on = 0;
    ::ioctl(fd_, TIOCGEXCL, &on);
    return on != 0;
}

SimulatorConfig SimulatorSetup::quickConfig() {
    SimulatorConfig config;
    config.seed = 7;
    config.modem.answerDelay = 50ms;
    config.modem.dialDelay = 100ms;
    return config;
}

SimulatorSetup::SimulatorSetup()
    : SimulatorSetup(quickConfig()) {}

SimulatorSetup::SimulatorSetup(SimulatorConfig config) {
    config.portsDir = portsDir();
    sim.emplace(std::move(config));
}

} // namespace tarvik::modemsim::test
