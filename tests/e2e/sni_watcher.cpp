// A StatusNotifierItem host for tests, as a desktop's tray is one: it owns
// org.kde.StatusNotifierWatcher on the session bus, reports a host registered,
// and records the items that register. Commands on standard input act as the
// host does on a click:
//   activate     Activate(0, 0) on the last registered item (a left click)
// Lines on standard output: "ready", "registered SERVICE PATH", "title TEXT"
// (the item's title, which hosts show as its tooltip), "activated", "error TEXT".
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

class Watcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit Watcher(QDBusConnection bus)
        : bus_(std::move(bus)) {}

    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }

    void activateLast() {
        if (items_.isEmpty()) {
            say(QStringLiteral("error no item registered"));
            return;
        }
        const QStringList item = items_.last().split(QLatin1Char(' '));
        QDBusMessage call = QDBusMessage::createMethodCall(item[0], item[1], kItemInterface,
                                                           QStringLiteral("Activate"));
        call << 0 << 0;
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* w) {
            const QDBusPendingReply<> reply = *w;
            say(reply.isError() ? QStringLiteral("error ") + reply.error().message()
                                : QStringLiteral("activated"));
            w->deleteLater();
        });
    }

public slots:
    // An item names its bus service, or only its object path on the caller's
    // connection (as some toolkits do).
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
        const bool pathOnly = serviceOrPath.startsWith(QLatin1Char('/'));
        const QString service = pathOnly ? message.service() : serviceOrPath;
        const QString path = pathOnly ? serviceOrPath : QStringLiteral("/StatusNotifierItem");
        items_ << service + QLatin1Char(' ') + path;
        say(QStringLiteral("registered ") + items_.last());
        emit StatusNotifierItemRegistered(service);
        sayTitle(service, path);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    void sayTitle(const QString& service, const QString& path) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << kItemInterface << QStringLiteral("Title");
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* w) {
            const QDBusPendingReply<QDBusVariant> reply = *w;
            say(reply.isError() ? QStringLiteral("error ") + reply.error().message()
                                : QStringLiteral("title ") + reply.value().variant().toString());
            w->deleteLater();
        });
    }

    QDBusConnection bus_;
    QStringList items_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher(bus);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        say(QStringLiteral("error ") + bus.lastError().message());
        return 1;
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            // The test has gone: so do we.
            QCoreApplication::quit();
            return;
        }
        pending.append(chunk, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray command = pending.left(end).trimmed();
            if (command == "activate")
                watcher.activateLast();
            else if (!command.isEmpty())
                say(QStringLiteral("error unknown command ") + QString::fromLatin1(command));
        }
    });
    say(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

#include "sni_watcher.moc"
