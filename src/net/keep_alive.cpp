#include "net/keep_alive.h"

#include <QAbstractSocket>
#include <QVariant>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace tarvik {

void setKeepAlive(QAbstractSocket& socket, const NcidKeepAlive& keepAlive) {
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qintptr fd = socket.socketDescriptor();
    if (fd < 0) return;
    const auto set = [fd](int option, int value) {
        ::setsockopt(static_cast<int>(fd), IPPROTO_TCP, option, &value, sizeof value);
    };
    set(TCP_KEEPIDLE, keepAlive.idleS);
    set(TCP_KEEPINTVL, keepAlive.intervalS);
    set(TCP_KEEPCNT, keepAlive.probes);
    set(TCP_USER_TIMEOUT, keepAlive.userTimeoutMs);
}

} // namespace tarvik
