#include "store/calllog.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "store/codepage.h"
#include "store/file_handle.h"
#include "store/short_text.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarvik {
namespace {

constexpr char kEndOfFileMark = 26;
constexpr off_t kMarkWindow = 128;

// An old end-of-file mark in the last 128 bytes cuts the file there.
void cutAtEndOfFileMark(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return;
    const off_t start = info.st_size > kMarkWindow ? info.st_size - kMarkWindow : 0;
    char tail[kMarkWindow];
    const ssize_t got = pread(fd, tail, static_cast<size_t>(info.st_size - start), start);
    if (got <= 0) return;
    const void* mark = std::memchr(tail, kEndOfFileMark, static_cast<size_t>(got));
    if (mark) {
        const off_t at = start + (static_cast<const char*>(mark) - tail);
        if (ftruncate(fd, at) != 0) {
            // Appending after the mark still keeps every line; nothing better to do.
        }
    }
}

FileHandle openForAppend(const QByteArray& path, bool& existed) {
    FileHandle file(::open(path.constData(), O_RDWR | O_APPEND | O_CLOEXEC));
    existed = file.valid() || errno != ENOENT;
    if (file.valid()) cutAtEndOfFileMark(file.get());
    return file;
}

// A line goes in whole or not at all: the part of a write cut short (a full disk)
// is taken back, so the next line never continues half a line.
bool appendWhole(int fd, const QByteArray& line) {
    struct stat before {};
    const bool regular = fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    if (writeAll(fd, line.constData(), static_cast<std::size_t>(line.size()))) return true;
    const int writeError = errno;
    if (regular && ftruncate(fd, before.st_size) != 0) {
        // The part written stays; the error below still tells of the failure.
    }
    errno = writeError;
    return false;
}

} // namespace

QChar formatSeparator(const QString& format, QChar fallback) {
    bool inField = false;
    for (const QChar ch : format) {
        if (ch.isLetter())
            inField = true;
        else if (inField && ch != QLatin1Char('\'') && !ch.isSpace())
            return ch;
    }
    return fallback;
}

QByteArray logStamp(const QDateTime& when, const QLocale& locale) {
    const QChar dateSep = formatSeparator(locale.dateFormat(QLocale::ShortFormat), u'/');
    const QChar timeSep = formatSeparator(locale.timeFormat(QLocale::ShortFormat), u':');
    const QDate d = when.date();
    const QTime t = when.time();
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    const QString stamp = two(d.day()) + dateSep + two(d.month()) + QLatin1Char(' ') +
                          two(t.hour()) + timeSep + two(t.minute()) + timeSep + two(t.second()) +
                          QLatin1Char(' ');
    return toCp1251(stamp);
}

void WriteLogLine(const QString& path, const QByteArray& message) {
    QByteArray line = cutShort(logStamp(QDateTime::currentDateTime()) + message);
    line += "\r\n";

    const QByteArray name = QFile::encodeName(path);
    bool existed = false;
    FileHandle file = openForAppend(name, existed);
    // A log that exists but cannot be appended to is never created anew: that would empty it.
    if (!file && !existed)
        file = FileHandle(
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666));
    if (!file) {
        ErrorBox(QStringLiteral("Error"), QStringLiteral("Create Log-file!"));
        return;
    }
    const bool written = appendWhole(file.get(), line);
    const int writeError = errno;
    if (!file.close() || !written)
        throw TarvikError(
            QStringLiteral("I/O error: %1")
                .arg(QString::fromLocal8Bit(std::strerror(written ? errno : writeError))));
}

} // namespace tarvik
