#pragma once
#include <QString>

namespace tarvik {

// The one-copy guard: an exclusive lock on a file named after the guard in the
// user's runtime folder. The kernel drops the lock when the holder dies, so a
// crashed copy never blocks the next start.
class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(const QString& name);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // False only when another copy holds the guard; a guard that cannot be made
    // at all counts as a first copy.
    bool firstCopy() const { return firstCopy_; }

    static QString lockFolder();

private:
    int fd_ = -1;
    bool firstCopy_ = true;
};

} // namespace tarvik
