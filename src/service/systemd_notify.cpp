#include "service/systemd_notify.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarvik {

void notifySystemd(const char* state) {
    const char* socketPath = std::getenv("NOTIFY_SOCKET");
    if (!socketPath || (socketPath[0] != '/' && socketPath[0] != '@')) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(socketPath);
    if (length >= sizeof(address.sun_path)) return;
    std::memcpy(address.sun_path, socketPath, length);
    // A leading '@' names a socket in the abstract namespace.
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    ::sendto(fd, state, std::strlen(state), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
             size);
    ::close(fd);
}

} // namespace tarvik
