#include "engine/caller_book.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

CallerBook::FileIdentity CallerBook::identityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return {};
    return {true, status.st_dev, status.st_ino, status.st_size,
            static_cast<qint64>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

CallerBook::CallerBook() {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    QObject::connect(&settle_, &QTimer::timeout, &settle_, [this] { settled(); });
    QObject::connect(&watcher_, &QFileSystemWatcher::fileChanged, &settle_,
                     [this] { changed(true); });
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
                     [this] { changed(false); });
}

void CallerBook::load(const QString& folder) {
    const QStringList watched = watcher_.files() + watcher_.directories();
    if (!watched.isEmpty()) watcher_.removePaths(watched);
    folder_ = folder;
    reload();
}

void CallerBook::reload() {
    if (!folder_) return;
    settle_.stop();
    fileChanged_ = false;
    const QString path = phoneBookPath(*folder_);
    // Taken before the read: a file replaced meanwhile differs and is read again.
    loaded_ = identityOf(path);
    follow(path);
    list_.clear();
    QString error;
    // The load opens the file for writing too, and takes one it cannot open for
    // an empty book: that is told rather than passed over.
    if (loaded_.exists && ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        try {
            LoadSavePhoneBook(false, list_, *folder_);
        } catch (const TarvikError& failure) {
            error = failure.message();
        }
    }
    if (!error.isEmpty() && onError) onError(path + QStringLiteral(": ") + error);
    index_ = PhoneIndex(list_.items());
    if (onLoaded) onLoaded(size());
}

std::optional<PhoneItem> CallerBook::lookup(QByteArrayView number) const {
    const int row = index_.find(number);
    if (row < 0) return std::nullopt;
    return list_.items()[row];
}

// A save writes a new file and renames it over the old one, which ends a watch
// on the file alone: the folder's watch sees the new file come, and the file's
// watch is moved to whatever file the path names now.
void CallerBook::follow(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
    if (watcher_.files().contains(path)) watcher_.removePath(path);
    if (loaded_.exists) watcher_.addPath(path);
}

void CallerBook::changed(bool fileItself) {
    fileChanged_ = fileChanged_ || fileItself;
    if (!settle_.isActive()) settle_.start();
}

// The folder changes with other files too (the call log, the settings): for a
// change of the folder alone the book is read again only when its file differs.
void CallerBook::settled() {
    if (fileChanged_ || identityOf(phoneBookPath(*folder_)) != loaded_) reload();
}

} // namespace tarvik
