#include "serial/comm_device_posix.h"

#include "serial/com_names.h"
#include "serial/comm_device_core.h"

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <utility>

namespace tarvik::comm {
namespace {

struct SpeedCode {
    unsigned bps;
    unsigned code;
};

constexpr SpeedCode kStandardSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EIO:
        return ERROR_BAD_COMMAND;
    default:
        return ERROR_GEN_FAILURE;
    }
}

class UniqueFd {
public:
    explicit UniqueFd(int fd)
        : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd& operator=(UniqueFd&&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

DCB dcbFromTermios(const termios2& t) {
    DCB dcb;
    dcb.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        dcb.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.Flags = DCB_fBinary | 0x0010; // DTR on
    if (t.c_cflag & CRTSCTS) dcb.Flags |= DCB_fOutxCtsFlow | DCB_RtsHandshake;
    if (t.c_iflag & IXON) dcb.Flags |= DCB_fOutX;
    if (t.c_iflag & IXOFF) dcb.Flags |= DCB_fInX;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return dcb;
}

// What a tty without modem lines reports: ready, with carrier, no ring.
constexpr DWORD kNoLinesStatus = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

DWORD statusOf(int lines) {
    return ((lines & TIOCM_CTS) ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) ? MS_DSR_ON : 0) |
           ((lines & TIOCM_RNG) ? MS_RING_ON : 0) | ((lines & TIOCM_CAR) ? MS_RLSD_ON : 0);
}

class PosixCommDevice final : public CommDeviceCore {
public:
    PosixCommDevice(UniqueFd fd, const termios2& settings)
        : CommDeviceCore(deviceLock_, dcbFromTermios(settings))
        , fd_(std::move(fd)) {
        int lines = 0;
        hasLines_ = ::ioctl(fd_.get(), TIOCMGET, &lines) == 0;
        hasCounts_ = ::ioctl(fd_.get(), TIOCGICOUNT, &counts_) == 0;
        SetInitialStatus(hasLines_ ? statusOf(lines) : kNoLinesStatus);
    }

    ~PosixCommDevice() override {
        Shutdown();
        // The exclusive mode would outlive us on a tty that stays open elsewhere.
        ::ioctl(fd_.get(), TIOCNXCL);
    }

private:
    bool gone() {
        hungUp_ = true;
        SetLastError(ERROR_BAD_COMMAND);
        return false;
    }

    bool sample(Sample& out) override {
        if (hungUp_) return gone();
        int inQueue = 0;
        int outQueue = 0;
        if (::ioctl(fd_.get(), FIONREAD, &inQueue) != 0) return gone();
        if (::ioctl(fd_.get(), TIOCOUTQ, &outQueue) != 0) outQueue = 0;
        out.inQueue = static_cast<DWORD>(inQueue);
        out.outQueue = static_cast<DWORD>(outQueue);
        if (!hasLines_) {
            out.modemStatus = kNoLinesStatus;
        } else if (int lines = 0; ::ioctl(fd_.get(), TIOCMGET, &lines) == 0) {
            out.modemStatus = statusOf(lines);
        } else if (errno == EIO) {
            return gone();
        }
        if (serial_icounter_struct now{};
            hasCounts_ && ::ioctl(fd_.get(), TIOCGICOUNT, &now) == 0) {
            if (now.frame != counts_.frame) out.newErrors |= CE_FRAME;
            if (now.overrun != counts_.overrun) out.newErrors |= CE_OVERRUN;
            if (now.parity != counts_.parity) out.newErrors |= CE_RXPARITY;
            if (now.brk != counts_.brk) out.newErrors |= CE_BREAK;
            if (now.buf_overrun != counts_.buf_overrun) out.newErrors |= CE_RXOVER;
            counts_ = now;
        }
        return true;
    }

    long transferResult(ssize_t n) {
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        // A tty read of 0 with VMIN 1 is a hang-up, like EIO.
        gone();
        return -1;
    }

    long moveIn(std::uint8_t* dest, DWORD count) override {
        if (hungUp_) return transferResult(0);
        return transferResult(::read(fd_.get(), dest, count));
    }

    long moveOut(const std::uint8_t* src, DWORD count) override {
        if (hungUp_) return transferResult(0);
        const ssize_t n = ::write(fd_.get(), src, count);
        if (n == 0) return 0;
        return transferResult(n);
    }

    bool flush(bool input, bool output) override {
        const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
        if (::ioctl(fd_.get(), TCFLSH, which) == 0) return true;
        SetLastError(errorFromErrno(errno));
        return false;
    }

    bool applyState(const DCB& dcb) override {
        termios2 t{};
        if (::ioctl(fd_.get(), TCGETS2, &t) != 0) {
            SetLastError(errorFromErrno(errno));
            return false;
        }
        TermiosLine line{t.c_cflag, t.c_iflag, t.c_ospeed, false, 0, 0};
        if (!DcbToTermios(dcb, line)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        t.c_cflag = line.cflag;
        t.c_iflag = line.iflag;
        t.c_ispeed = t.c_ospeed = line.speed;
        t.c_cc[VSTART] = static_cast<cc_t>(line.startChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(line.stopChar);
        if (::ioctl(fd_.get(), TCSETS2, &t) != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return true;
    }

    bool escape(DWORD function) override {
        const auto lines = [&](unsigned long request, int bits) {
            if (!hasLines_) return true; // nothing to drive
            if (::ioctl(fd_.get(), request, &bits) == 0) return true;
            SetLastError(errorFromErrno(errno));
            return false;
        };
        const auto simple = [&](unsigned long request, long arg) {
            if (::ioctl(fd_.get(), request, arg) == 0) return true;
            SetLastError(errorFromErrno(errno));
            return false;
        };
        switch (function) {
        case SETDTR:
            return lines(TIOCMBIS, TIOCM_DTR);
        case CLRDTR:
            return lines(TIOCMBIC, TIOCM_DTR);
        case SETRTS:
            return lines(TIOCMBIS, TIOCM_RTS);
        case CLRRTS:
            return lines(TIOCMBIC, TIOCM_RTS);
        case SETBREAK:
            return simple(TIOCSBRK, 0);
        case CLRBREAK:
            return simple(TIOCCBRK, 0);
        case SETXOFF:
            return simple(TCXONC, TCOOFF);
        case SETXON:
            return simple(TCXONC, TCOON);
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }

    PollSpec pollSpec(const Interest& interest) override {
        PollSpec spec;
        // A hung-up tty reports POLLHUP for ever: once seen, only our own wake-ups count.
        if (hungUp_) return spec;
        spec.fd = fd_.get();
        spec.events = static_cast<short>((interest.readable ? POLLIN : 0) |
                                         (interest.writable ? POLLOUT : 0));
        // Line states and the draining of the output queue cannot be polled for.
        const bool watchLines = interest.lines && (hasLines_ || hasCounts_);
        if (watchLines || interest.txEmpty) spec.timeoutMs = kLinePollMs;
        return spec;
    }

    void polled(short revents) override {
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp_ = true;
    }

    static constexpr int kLinePollMs = 50;

    std::mutex deviceLock_;
    UniqueFd fd_;
    bool hasLines_ = false;
    bool hasCounts_ = false;
    bool hungUp_ = false;
    serial_icounter_struct counts_{};
};

CommHandle openPath(const std::string& path) {
    const int raw = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (raw < 0) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    UniqueFd fd(raw);
    if (!::isatty(fd.get())) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    termios2 t{};
    if (::ioctl(fd.get(), TCGETS2, &t) != 0) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    // Raw bytes both ways; carrier changes neither block nor hang up the tty.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cc[VMIN] = 1; // so that a read of nothing is EAGAIN, and 0 means hang-up
    t.c_cc[VTIME] = 0;
    if (::ioctl(fd.get(), TCSETS2, &t) != 0) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    return std::make_unique<PosixCommDevice>(std::move(fd), t);
}

} // namespace

bool DcbToTermios(const DCB& dcb, TermiosLine& line) {
    if (!IsValidDcb(dcb)) return false;
    unsigned cflag = line.cflag & ~(CBAUD | CBAUDEX | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB |
                                    CRTSCTS | (CBAUD << IBSHIFT));
    unsigned iflag = line.iflag & ~(IXON | IXOFF | INPCK);
    line.customSpeed = true;
    unsigned code = BOTHER;
    for (const SpeedCode& s : kStandardSpeeds) {
        if (s.bps == dcb.BaudRate) {
            code = s.code;
            line.customSpeed = false;
        }
    }
    cflag |= code;
    line.speed = dcb.BaudRate;
    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case ODDPARITY:
        cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        cflag |= PARENB;
        break;
    case MARKPARITY:
        cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // Linux has no one and a half: two stop bits are sent as 1.5 with 5-bit characters.
    if (dcb.StopBits != ONESTOPBIT) cflag |= CSTOPB;
    // The tty ties CTS output flow and RTS input handshake into one switch.
    if ((dcb.Flags & DCB_fOutxCtsFlow) || (dcb.Flags & DCB_fRtsControlMask) == DCB_RtsHandshake)
        cflag |= CRTSCTS;
    if (dcb.Flags & DCB_fParity) iflag |= INPCK;
    if (dcb.Flags & DCB_fOutX) iflag |= IXON;
    if (dcb.Flags & DCB_fInX) iflag |= IXOFF;
    line.cflag = cflag;
    line.iflag = iflag;
    line.startChar = dcb.XonChar;
    line.stopChar = dcb.XoffChar;
    return true;
}

CommHandle OpenSystemDevice(const std::string& name) {
    const std::optional<int> number = ComNumberOf(name);
    if (!number) return openPath(name);
    const std::string path = ComDevicePath(*number);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return openPath(path);
}

} // namespace tarvik::comm
