#pragma once
#include <unistd.h>
#include <utility>

namespace tarvik {

// Owns a POSIX file descriptor.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd)
        : fd_(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Closes now and tells whether the close reported success.
    bool close() {
        if (fd_ < 0) return true;
        const int rc = ::close(std::exchange(fd_, -1));
        return rc == 0;
    }
    void reset() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

private:
    int fd_ = -1;
};

// Writes all of `size` bytes, retrying short writes and interruptions.
bool writeAll(int fd, const char* data, std::size_t size);

} // namespace tarvik
