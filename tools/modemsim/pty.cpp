#include "pty.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>

namespace tarvik::modemsim {
namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!master_) fail("cannot open a pseudo-terminal");
    if (::grantpt(master_.get()) != 0) fail("grantpt");
    if (::unlockpt(master_.get()) != 0) fail("unlockpt");

    std::array<char, 128> name{};
    if (::ptsname_r(master_.get(), name.data(), name.size()) != 0) fail("ptsname");
    slavePath_ = name.data();

    slave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_) fail("cannot open the pseudo-terminal's slave");

    // Raw, so the program's bytes reach the master unchanged even before it sets its own mode.
    termios mode{};
    if (::tcgetattr(slave_.get(), &mode) != 0) fail("tcgetattr");
    ::cfmakeraw(&mode);
    ::cfsetspeed(&mode, B19200);
    if (::tcsetattr(slave_.get(), TCSANOW, &mode) != 0) fail("tcsetattr");

    // Added after our own open, so only other programs' opens and closes show.
    watch_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch_) fail("inotify");
    if (::inotify_add_watch(watch_.get(), slavePath_.c_str(),
                            IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        fail("cannot watch the pseudo-terminal's slave");
}

PseudoTerminal::Notices PseudoTerminal::takeNotices() {
    Notices notices;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(watch_.get(), buffer, sizeof buffer)) > 0) {
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->mask & IN_OPEN) ++notices.opens;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ++notices.closes;
            p += sizeof(inotify_event) + event->len;
        }
    }
    return notices;
}

void PseudoTerminal::clearExclusive() {
    ::ioctl(slave_.get(), TIOCNXCL);
}

} // namespace tarvik::modemsim
