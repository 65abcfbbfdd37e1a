#include "serial/comm_device_posix.h"

#include "serial/com_names.h"
#include "serial/comm_device_core.h"
#include "serial/comm_syscalls.h"

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
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

// The character sizes of 5 to 8 bits.
constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
// The parity bits of NOPARITY to SPACEPARITY.
constexpr unsigned kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                  PARENB | CMSPAR};

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
    default:
        return ERROR_GEN_FAILURE;
    }
}

class UniqueFd {
public:
    UniqueFd(SystemCalls& sys, int fd)
        : sys_(sys)
        , fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) sys_.Close(fd_);
    }
    UniqueFd(UniqueFd&& other) noexcept
        : sys_(other.sys_)
        , fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd& operator=(UniqueFd&&) = delete;
    int get() const { return fd_; }

private:
    SystemCalls& sys_;
    int fd_;
};

DCB dcbFromTermios(const termios2& t) {
    DCB dcb;
    dcb.BaudRate = t.c_ospeed;
    const auto size = std::ranges::find(kSizes, t.c_cflag & CSIZE) - std::begin(kSizes);
    dcb.ByteSize = static_cast<std::uint8_t>(5 + size);
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

// A driver rounds a speed to what its clock divider gives, and a UART copes with
// a little error; a speed further off than 2 % is one the device did not take.
bool speedTaken(unsigned wanted, unsigned actual) {
    const unsigned long off = wanted > actual ? wanted - actual : actual - wanted;
    return off * 50 <= wanted;
}

// Errors by which a device turns a request down rather than fails.
bool isRefusal(int error) {
    return error == EINVAL || error == ENOTTY || error == EPERM || error == EACCES ||
           error == EOPNOTSUPP;
}

// The identity of the device node behind an open descriptor or a path.
std::optional<dev_t> deviceOf(int statResult, const struct stat& st) {
    if (statResult != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
    return st.st_rdev;
}

class PosixCommDevice final : public CommDeviceCore {
public:
    PosixCommDevice(SystemCalls& sys, UniqueFd fd, std::string path, const termios2& settings)
        : CommDeviceCore(deviceLock_, dcbFromTermios(settings))
        , sys_(sys)
        , fd_(std::move(fd))
        , path_(std::move(path)) {
        struct stat st {};
        node_ = deviceOf(sys_.Fstat(fd_.get(), &st), st);
        int lines = 0;
        if (ioctl(TIOCMGET, &lines) == 0) {
            hasLines_ = true;
            SetInitialStatus(statusOf(lines));
        } else {
            // A tty without modem lines turns the query down; any other failure is a glitch.
            hasLines_ = !isRefusal(errno);
            if (!hasLines_) SetInitialStatus(kNoLinesStatus);
        }
        hasCounts_ = ioctl(TIOCGICOUNT, &counts_) == 0;
    }

    ~PosixCommDevice() override {
        Shutdown();
        if (gone_) return;
        // Output left in the tty would hold up the kernel's close (for up to 30 s
        // on a serial port whose flow is stopped).
        ioctl(TCFLSH, long{TCOFLUSH});
        // The exclusive mode would outlive us on a tty that stays open elsewhere.
        ioctl(TIOCNXCL, nullptr);
    }

private:
    using Clock = std::chrono::steady_clock;

    int ioctl(unsigned long request, void* arg) { return sys_.Ioctl(fd_.get(), request, arg); }
    int ioctl(unsigned long request, long arg) {
        return ioctl(request, reinterpret_cast<void*>(arg));
    }

    bool failGone() {
        SetLastError(ERROR_BAD_COMMAND);
        return false;
    }
    long failGoneTransfer() {
        failGone();
        return -1;
    }

    // A kernel call on the device worked: whatever failed before has passed.
    void succeeded() { eioSince_.reset(); }

    // A kernel call on the device failed with `error` (EIO for a hang-up). The
    // device has gone for good when it says so (ENXIO, ENODEV), or on EIO once
    // its node has gone or the EIO has lasted; otherwise the fault may pass.
    // Either way the device is left alone for a pause, so no thread spins on it.
    void fault(int error) {
        const auto now = Clock::now();
        retryAt_ = now + kRetryPause;
        bool goneNow = error == ENXIO || error == ENODEV;
        if (error == EIO) {
            if (!eioSince_) eioSince_ = now;
            goneNow = nodeGone() || now - *eioSince_ >= kEioLimit;
        }
        if (goneNow && !gone_) {
            gone_ = true;
            SignalPendingLocked(); // pending operations fail at once
        }
        SetLastError(gone_ ? ERROR_BAD_COMMAND : ERROR_IO_DEVICE);
    }

    // The result of an ioctl: true when it worked; a request the device turned
    // down fails as an invalid parameter, any other failure is a fault.
    bool check(int result) {
        if (result >= 0) {
            succeeded();
            return true;
        }
        const int error = errno;
        if (isRefusal(error))
            SetLastError(ERROR_INVALID_PARAMETER);
        else
            fault(error);
        return false;
    }

    // The path that was opened no longer leads to this device.
    bool nodeGone() {
        struct stat st {};
        const int result = sys_.Stat(path_.c_str(), &st);
        if (result != 0) return errno == ENOENT || errno == ENOTDIR;
        return node_ && deviceOf(result, st) != node_;
    }

    int pauseLeftMs() const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(retryAt_ - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

    bool sample(Sample& out) override {
        if (gone_) return failGone();
        int inQueue = 0;
        int outQueue = 0;
        if (!check(ioctl(FIONREAD, &inQueue)) || !check(ioctl(TIOCOUTQ, &outQueue))) return false;
        out.inQueue = static_cast<DWORD>(inQueue);
        out.outQueue = static_cast<DWORD>(outQueue);
        if (!hasLines_) {
            out.modemStatus = kNoLinesStatus;
        } else if (int lines = 0; check(ioctl(TIOCMGET, &lines))) {
            out.modemStatus = statusOf(lines);
        } else if (gone_) {
            return false;
        }
        if (serial_icounter_struct now{}; hasCounts_ && check(ioctl(TIOCGICOUNT, &now))) {
            if (now.frame != counts_.frame) out.newErrors |= CE_FRAME;
            if (now.overrun != counts_.overrun) out.newErrors |= CE_OVERRUN;
            if (now.parity != counts_.parity) out.newErrors |= CE_RXPARITY;
            if (now.brk != counts_.brk) out.newErrors |= CE_BREAK;
            if (now.buf_overrun != counts_.buf_overrun) out.newErrors |= CE_RXOVER;
            counts_ = now;
        }
        if (gone_) return failGone();
        return true;
    }

    // Bytes a read or write moved; 0 when the device had nothing or no room.
    long transferred(ssize_t n, bool zeroIsHangUp) {
        if (n > 0 || (n == 0 && !zeroIsHangUp)) {
            succeeded();
            return static_cast<long>(n);
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            succeeded();
            return 0;
        }
        // A tty read of 0 with VMIN 1 is a hang-up, like EIO.
        fault(n == 0 ? EIO : errno);
        return -1;
    }

    long moveIn(std::uint8_t* dest, DWORD count) override {
        if (gone_) return failGoneTransfer();
        return transferred(sys_.Read(fd_.get(), dest, count), true);
    }

    long moveOut(const std::uint8_t* src, DWORD count) override {
        if (gone_) return failGoneTransfer();
        return transferred(sys_.Write(fd_.get(), src, count), false);
    }

    bool flush(bool input, bool output) override {
        if (gone_) return failGone();
        const long which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
        return check(ioctl(TCFLSH, which));
    }

    bool applyState(const DCB& dcb) override {
        if (gone_) return failGone();
        termios2 before{};
        if (!check(ioctl(TCGETS2, &before))) return false;
        TermiosLine line{before.c_cflag, before.c_iflag, before.c_ospeed, false, 0, 0};
        if (!DcbToTermios(dcb, line)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        termios2 t = before;
        t.c_cflag = line.cflag;
        t.c_iflag = line.iflag;
        t.c_ispeed = t.c_ospeed = line.speed;
        t.c_cc[VSTART] = static_cast<cc_t>(line.startChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(line.stopChar);
        if (!check(ioctl(TCSETS2, &t))) return false;
        // A driver may keep its old speed, or fall back to another, and still succeed.
        termios2 now{};
        if (!check(ioctl(TCGETS2, &now))) return false;
        if (!speedTaken(line.speed, now.c_ospeed)) {
            check(ioctl(TCSETS2, &before));
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return true;
    }

    bool escape(DWORD function) override {
        if (gone_) return failGone();
        const auto lines = [&](unsigned long request, int bits) {
            return !hasLines_ || check(ioctl(request, &bits)); // nothing to drive without lines
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
            return check(ioctl(TIOCSBRK, 0L));
        case CLRBREAK:
            return check(ioctl(TIOCCBRK, 0L));
        case SETXOFF:
            return check(ioctl(TCXONC, long{TCOOFF}));
        case SETXON:
            return check(ioctl(TCXONC, long{TCOON}));
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }

    PollSpec pollSpec(const Interest& interest) override {
        PollSpec spec;
        // Pending operations of a device that has gone have failed; only our own
        // wake-ups count.
        if (gone_) return spec;
        // A tty in trouble may report ready for ever: sit out the pause first.
        if (const int pause = pauseLeftMs(); pause > 0) {
            spec.timeoutMs = pause;
            return spec;
        }
        spec.fd = fd_.get();
        spec.events = static_cast<short>((interest.readable ? POLLIN : 0) |
                                         (interest.writable ? POLLOUT : 0));
        // Line states and the draining of the output queue cannot be polled for.
        const bool watchLines = interest.lines && (hasLines_ || hasCounts_);
        if (watchLines || interest.txEmpty) spec.timeoutMs = kLinePollMs;
        return spec;
    }

    void polled(short revents) override {
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) fault(EIO);
    }

    int pollDevice(pollfd* fds, nfds_t count, int timeoutMs) override {
        return sys_.Poll(fds, count, timeoutMs);
    }

    static constexpr int kLinePollMs = 50;
    static constexpr auto kRetryPause = std::chrono::milliseconds(50);
    static constexpr auto kEioLimit = std::chrono::seconds(1);

    std::mutex deviceLock_;
    SystemCalls& sys_;
    UniqueFd fd_;
    const std::string path_;
    std::optional<dev_t> node_; // the device number behind the descriptor
    bool hasLines_ = false;
    bool hasCounts_ = false;
    bool gone_ = false;
    std::optional<Clock::time_point> eioSince_; // first of the EIO failures since the last success
    Clock::time_point retryAt_{};
    serial_icounter_struct counts_{};
};

// A failed open: the code callers test, and the system's reason for the user.
CommHandle failedOpen(DWORD code, int systemError) {
    SetLastError(code, systemError);
    return nullptr;
}

CommHandle openPath(const std::string& path) {
    SystemCalls& sys = CurrentSystemCalls();
    const int raw = sys.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (raw < 0) return failedOpen(errorFromErrno(errno), errno);
    UniqueFd fd(sys, raw);
    termios2 t{};
    if (sys.Ioctl(fd.get(), TCGETS2, &t) != 0)
        return failedOpen(errno == ENOTTY ? ERROR_NOT_SUPPORTED : errorFromErrno(errno), errno);
    // Another program holds the port: its lock, or the terminal's exclusive mode.
    if (sys.Flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || sys.Ioctl(fd.get(), TIOCEXCL, nullptr) != 0)
        return failedOpen(ERROR_ACCESS_DENIED, EBUSY);
    // Raw bytes both ways; carrier changes neither block nor hang up the tty.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cc[VMIN] = 1; // so that a read of nothing is EAGAIN, and 0 means hang-up
    t.c_cc[VTIME] = 0;
    if (sys.Ioctl(fd.get(), TCSETS2, &t) != 0) return failedOpen(errorFromErrno(errno), errno);
    return std::make_unique<PosixCommDevice>(sys, std::move(fd), path, t);
}

} // namespace

bool DcbToTermios(const DCB& dcb, TermiosLine& line) {
    if (!IsValidDcb(dcb)) return false;
    unsigned cflag = line.cflag & ~(CBAUD | CBAUDEX | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB |
                                    CRTSCTS | (CBAUD << IBSHIFT));
    unsigned iflag = line.iflag & ~(IXON | IXOFF | INPCK);
    const auto standard = std::ranges::find(kStandardSpeeds, dcb.BaudRate, &SpeedCode::bps);
    line.customSpeed = standard == std::end(kStandardSpeeds);
    cflag |= line.customSpeed ? BOTHER : standard->code;
    line.speed = dcb.BaudRate;
    cflag |= kSizes[dcb.ByteSize - 5];
    cflag |= kParities[dcb.Parity];
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
    if (path.empty()) return failedOpen(ERROR_FILE_NOT_FOUND, 0);
    return openPath(path);
}

} // namespace tarvik::comm
