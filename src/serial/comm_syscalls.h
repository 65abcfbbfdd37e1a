#pragma once
// The kernel calls of the POSIX serial back end, behind one seam so that tests
// can put faults between the real back end and the kernel.
#include <cstddef>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace tarvik::comm {

// Each call has the meaning of the system call of its name: a negative result
// with errno set on failure. The base class calls the kernel; a test derives
// from it and overrides the calls it wants to fail.
class SystemCalls {
public:
    virtual ~SystemCalls() = default;

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual ssize_t Read(int fd, void* buf, std::size_t count);
    virtual ssize_t Write(int fd, const void* buf, std::size_t count);
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    // `arg` is the pointer or the number the request takes.
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    virtual int Flock(int fd, int operation);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Stat(const char* path, struct stat* st);
};

// The calls a device opened now will use: the kernel's unless a test has
// replaced them. A device keeps the calls it was opened with.
SystemCalls& CurrentSystemCalls() noexcept;

// Makes `calls` the current ones for the lifetime of the object. Devices opened
// meanwhile must be closed before it ends.
class ScopedSystemCalls {
public:
    explicit ScopedSystemCalls(SystemCalls& calls);
    ~ScopedSystemCalls();
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

private:
    SystemCalls* previous_;
};

} // namespace tarvik::comm
