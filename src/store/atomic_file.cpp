#include "store/atomic_file.h"

#include "store/file_handle.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {
namespace {

// The kernel's own limit on links followed in one path.
constexpr int kMaxLinkHops = 40;
constexpr int kTemporaryNameTries = 100;
// The characters and length of mkstemp's "XXXXXX", which earlier saves used.
constexpr std::string_view kNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr qsizetype kSuffixLength = 6;

struct SplitPath {
    QByteArray folder;
    QByteArray name;
};

SplitPath splitPath(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return {".", path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

// Where a chain of symbolic links ends. The end need not exist: a dangling
// link's target is created.
std::optional<QByteArray> followLinks(QByteArray path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::array<char, PATH_MAX> target{};
        const ssize_t length = ::readlink(path.constData(), target.data(), target.size());
        if (length < 0) return std::nullopt;
        if (static_cast<std::size_t>(length) == target.size()) {
            errno = ENAMETOOLONG;
            return std::nullopt;
        }
        const QByteArray next(target.data(), length);
        path = next.startsWith('/') ? next : splitPath(path).folder + '/' + next;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool isTemporaryNameOf(std::string_view name, std::string_view base) {
    if (name.size() != base.size() + 1 + kSuffixLength || !name.starts_with(base) ||
        name[base.size()] != '.')
        return false;
    return std::all_of(name.end() - kSuffixLength, name.end(),
                       [](char ch) { return kNameCharacters.find(ch) != std::string_view::npos; });
}

// Temporary files of earlier saves that were killed before their rename. A fresh
// one may belong to a save running in another process right now, so only those
// untouched for a while go.
void removeStaleTemporaries(const QByteArray& target) {
    const SplitPath split = splitPath(target);
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(split.folder.constData()),
                                                     &::closedir);
    if (!folder) return;
    const std::string_view base(split.name.constData(),
                                static_cast<std::size_t>(split.name.size()));
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(folder.get())) {
        if (!isTemporaryNameOf(entry->d_name, base)) continue;
        struct stat info {};
        if (::fstatat(::dirfd(folder.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || now - info.st_mtime < kStaleTemporaryAge.count())
            continue;
        ::unlinkat(::dirfd(folder.get()), entry->d_name, 0);
    }
}

// A new file beside `target`, created as open(O_CREAT, 0666) creates files: its
// mode is what the umask (or the folder's default ACL) gives.
FileHandle createTemporary(const QByteArray& target, QByteArray& name) {
    QRandomGenerator* random = QRandomGenerator::system();
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        name = target + '.';
        for (qsizetype i = 0; i < kSuffixLength; ++i)
            name += kNameCharacters[random->bounded(static_cast<quint32>(kNameCharacters.size()))];
        FileHandle file(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file || errno != EEXIST) return file;
    }
    return {};
}

// Only root may give a file away; others may still keep its group when they
// belong to it. Neither is worth failing a save for.
void keepOwnerAndMode(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // The process's own owner and group stay.
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
        // A file system without modes.
    }
}

// Makes a rename in the folder durable.
void syncFolder(const QByteArray& folder) {
    if (FileHandle dir{::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)})
        ::fsync(dir.get());
}

} // namespace

bool replaceFileContent(const QByteArray& path, QByteArrayView content) {
    const std::optional<QByteArray> target = followLinks(path);
    if (!target) return false;
    struct stat old {};
    const bool replacing = ::stat(target->constData(), &old) == 0;
    if (replacing && ::access(target->constData(), W_OK) != 0) return false;
    removeStaleTemporaries(*target);

    QByteArray temporary;
    FileHandle file = createTemporary(*target, temporary);
    if (!file) return false;
    if (replacing) keepOwnerAndMode(file.get(), old);
    bool ok = writeAll(file.get(), content.data(), static_cast<std::size_t>(content.size())) &&
              ::fsync(file.get()) == 0;
    ok = file.close() && ok;
    ok = ok && ::rename(temporary.constData(), target->constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.constData());
        errno = error;
        return false;
    }
    syncFolder(splitPath(*target).folder);
    return true;
}

} // namespace tarvik
