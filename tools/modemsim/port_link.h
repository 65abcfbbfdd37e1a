#pragma once
#include "unique_fd.h"

#include <string>

namespace tarvik::modemsim {

// The link COMn in the ports folder that names the simulator's device, for as long as
// this object lives. A lock file beside it (.COMn.lock) tells a live simulator from a
// stale link left by one that was killed.
class PortLink {
public:
    // Creates the folder and the link. A stale simulator link (to a /dev/pts device or to
    // nothing) is replaced; a link kept by a live simulator is refused; anything else is
    // refused unless `force`. Throws std::runtime_error with a message for the user.
    PortLink(const std::string& folder, int port, const std::string& target, bool force);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Points the link at another device, atomically.
    void retarget(const std::string& target);
    // While the device is away the link leads nowhere, as a link to a USB device's
    // /dev/serial/by-id/ name does once udev has removed that name: never to a
    // terminal that someone else has opened since under the old number.
    void withdraw();

    const std::string& path() const { return path_; }
    const std::string& target() const { return target_; }

private:
    void place(const std::string& target);

    std::string folder_;
    std::string name_;
    std::string path_;
    std::string target_;
    UniqueFd lock_;
};

} // namespace tarvik::modemsim
