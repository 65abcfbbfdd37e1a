#include "platform/device_claim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvik {
namespace {

constexpr qsizetype kMaxHolderBytes = 512;
constexpr int kMaxLinks = 16;
// Escaped names longer than this are cut and given a digest of the whole name,
// which keeps the entry well below the file system's 255 bytes.
constexpr qsizetype kMaxEscapedBytes = 180;
constexpr qsizetype kCutEscapedBytes = 100;

bool keptAsIs(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_';
}

QString lockFolder() {
    const QString configured = qEnvironmentVariable("TARVIK_LOCK_DIR");
    const QString folder = configured.isEmpty() ? QStringLiteral("/run/lock") : configured;
    return QFileInfo(folder).isDir() ? folder : QString();
}

// Every name the device goes by, in one order for every program, so that two
// claimants never each hold a part and refuse each other.
QStringList namesOf(const QString& device) {
    if (device.isEmpty()) return {};
    QStringList names;
    QString name = QDir::cleanPath(QFileInfo(device).absoluteFilePath());
    for (int step = 0; step < kMaxLinks && !name.isEmpty(); ++step) {
        names.append(name);
        const QFileInfo link(name);
        if (!link.isSymLink()) break;
        name = QDir::cleanPath(link.symLinkTarget());
    }
    const QString device_itself = QFileInfo(device).canonicalFilePath();
    if (!device_itself.isEmpty()) names.append(device_itself);
    names.sort();
    names.removeDuplicates();
    return names;
}

// One line of printable text: the holder is read from a file any user can write.
QString printable(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf('\n');
    QString text = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
    text.removeIf([](QChar c) { return !c.isPrint(); });
    return text.trimmed();
}

QString userName() {
    const uid_t uid = ::geteuid();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QByteArray holderLine(const QString& holder) {
    const QString text = QStringLiteral("%1 (pid %2, user %3)")
                             .arg(printable(holder.toUtf8()))
                             .arg(::getpid())
                             .arg(printable(userName().toUtf8()));
    return text.toUtf8().left(kMaxHolderBytes - 1) + '\n';
}

} // namespace

class DeviceClaim::LockFile {
public:
    enum class Lock { Taken, Busy, Failed };

    // The lock file at `path`, or an invalid one when there is none to be had. An
    // existing file is opened without O_CREAT: with fs.protected_regular an O_CREAT
    // open of another user's file in a sticky folder fails even though it exists.
    // Only a plain regular file with one link is taken, never a link, fifo or
    // hard link to something else.
    static LockFile open(const QByteArray& path) {
        constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        for (int attempt = 0; attempt < 3; ++attempt) {
            LockFile file(::open(path.constData(), O_RDWR | kFlags));
            if (!file.valid() && errno == EACCES)
                file = LockFile(::open(path.constData(), O_RDONLY | kFlags));
            if (file.valid()) return file.isPlainFile() ? std::move(file) : LockFile(-1);
            if (errno != ENOENT) return LockFile(-1);
            file = LockFile(::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666));
            if (file.valid()) {
                ::fchmod(file.fd_, 0666); // so that the umask cannot shut out the other user
                return file;
            }
            if (errno != EEXIST) return LockFile(-1);
        }
        return LockFile(-1);
    }

    explicit LockFile(int fd)
        : fd_(fd) {}
    LockFile(LockFile&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    LockFile& operator=(LockFile&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~LockFile() {
        if (fd_ >= 0) ::close(fd_);
    }

    bool valid() const { return fd_ >= 0; }

    Lock lock() const {
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0) return Lock::Taken;
        return errno == EWOULDBLOCK ? Lock::Busy : Lock::Failed;
    }

    // The line goes in before the old text is cut off, so a reader sees a whole
    // line at any moment; a descriptor opened read-only leaves the file as it is.
    void write(const QByteArray& line) const {
        if (::pwrite(fd_, line.constData(), line.size(), 0) == line.size())
            (void)::ftruncate(fd_, line.size());
    }

    QString holder() const {
        QByteArray bytes(kMaxHolderBytes, Qt::Uninitialized);
        const ssize_t got = ::pread(fd_, bytes.data(), bytes.size(), 0);
        bytes.resize(std::max<ssize_t>(got, 0));
        const QString text = printable(bytes);
        return text.isEmpty() ? QStringLiteral("another TARVIK program") : text;
    }

private:
    bool isPlainFile() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
    }

    int fd_;
};

DeviceClaim::DeviceClaim(const QString& device, const QString& holder) {
    const QString folder = lockFolder();
    if (folder.isEmpty()) return;
    for (const QString& name : namesOf(device)) {
        LockFile file =
            LockFile::open(QFile::encodeName(folder + QLatin1Char('/') + deviceLockName(name)));
        if (!file.valid()) continue;
        switch (file.lock()) {
        case LockFile::Lock::Taken:
            held_.push_back(std::move(file));
            break;
        case LockFile::Lock::Busy:
            otherHolder_ = file.holder();
            held_.clear();
            return;
        case LockFile::Lock::Failed:
            break;
        }
    }
    // Written only once every name is held, so a refused claim never leaves its name.
    const QByteArray line = holderLine(holder);
    for (const LockFile& file : held_)
        file.write(line);
}

DeviceClaim::~DeviceClaim() = default;

QString deviceLockName(const QString& devicePath) {
    const QByteArray path = QFile::encodeName(devicePath);
    QByteArray escaped;
    for (qsizetype i = path.startsWith('/') ? 1 : 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '/')
            escaped += '-';
        else if (keptAsIs(c))
            escaped += c;
        else
            escaped += '%' + QByteArray::number(static_cast<unsigned char>(c), 16)
                                 .rightJustified(2, '0')
                                 .toUpper();
    }
    if (escaped.size() > kMaxEscapedBytes)
        escaped = escaped.left(kCutEscapedBytes) + '~' +
                  QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("tarvik-") + QString::fromLatin1(escaped) + QStringLiteral(".lock");
}

} // namespace tarvik
