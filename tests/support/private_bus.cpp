#include "private_bus.h"

#include <QDeadlineTimer>

namespace tarvik::testing {

PrivateBus::PrivateBus() {
    // It warns that it may not raise its descriptor limit: no matter here.
    daemon_.setStandardErrorFile(QProcess::nullDevice());
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000)) return;
    const QDeadlineTimer deadline(10000);
    while (!daemon_.canReadLine() && !deadline.hasExpired())
        daemon_.waitForReadyRead(100);
    if (daemon_.canReadLine()) address_ = QString::fromLatin1(daemon_.readLine().trimmed());
}

PrivateBus::~PrivateBus() {
    daemon_.terminate();
    if (!daemon_.waitForFinished(3000)) daemon_.kill();
    daemon_.waitForFinished(1000);
}

} // namespace tarvik::testing
