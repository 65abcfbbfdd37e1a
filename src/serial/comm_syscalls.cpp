#include "serial/comm_syscalls.h"

#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tarvik::comm {
namespace {

SystemCalls kernelCalls;
std::atomic<SystemCalls*> currentCalls{&kernelCalls};

} // namespace

int SystemCalls::Open(const char* path, int flags) {
    return ::open(path, flags);
}

int SystemCalls::Close(int fd) {
    return ::close(fd);
}

ssize_t SystemCalls::Read(int fd, void* buf, std::size_t count) {
    return ::read(fd, buf, count);
}

ssize_t SystemCalls::Write(int fd, const void* buf, std::size_t count) {
    return ::write(fd, buf, count);
}

int SystemCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int SystemCalls::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

int SystemCalls::Flock(int fd, int operation) {
    return ::flock(fd, operation);
}

int SystemCalls::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}

int SystemCalls::Stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}

SystemCalls& CurrentSystemCalls() noexcept {
    return *currentCalls.load();
}

ScopedSystemCalls::ScopedSystemCalls(SystemCalls& calls)
    : previous_(currentCalls.exchange(&calls)) {}

ScopedSystemCalls::~ScopedSystemCalls() {
    currentCalls.store(previous_);
}

} // namespace tarvik::comm
