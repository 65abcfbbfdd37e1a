#pragma once
#include <QString>

#include <vector>

namespace tarvik {

// A claim on one serial device by one TARVIK program, held for the program's run,
// so that the desktop program and the service never share a modem and the refused
// one can name the other. It is an exclusive lock on a file per device name in a
// folder every user can write (TARVIK_LOCK_DIR, else /run/lock); the holder writes
// who it is into the file. The kernel drops the lock when the holder dies.
//
// A device is claimed under every name it goes by: the name as configured, each
// link on the way to the device, and the device itself when it exists. So a
// program that claimed a by-id link while the modem was unplugged still meets one
// that claims the same link once the modem is back.
class DeviceClaim {
public:
    // `holder` names this program to the other one, e.g. "the TARVIK service (tarvikd)".
    DeviceClaim(const QString& device, const QString& holder);
    ~DeviceClaim();
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;

    // False only when another program holds the device. A claim that cannot be made
    // at all (no lock folder, an entry there that is not a lock file) counts as
    // claimed: that never stops a start, the port's own exclusive open still holds.
    bool claimed() const { return otherHolder_.isEmpty(); }

    // When not claimed: "<holder> (pid N, user NAME)" as the other wrote it, in
    // printable text of bounded length, or a plain description when unreadable.
    QString otherHolder() const { return otherHolder_; }

private:
    class LockFile;
    std::vector<LockFile> held_;
    QString otherHolder_;
};

// The lock file's name for one absolute device name: one entry of the lock folder
// (never '/', never "." or ".."), of bounded length, distinct for distinct names.
QString deviceLockName(const QString& devicePath);

} // namespace tarvik
