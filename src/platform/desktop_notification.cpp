#include "platform/desktop_notification.h"

#include "platform/log_categories.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace tarvik {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kClickAction = QStringLiteral("default");
} // namespace

DesktopNotification::DesktopNotification(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus)) {
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(onClosed(uint, uint)));
}

void DesktopNotification::show(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) return;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("tarvik")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    notify << QStringLiteral("TARVIK") << shown_ << QStringLiteral("tarvik") << summary << body
           << QStringList{kClickAction, QStringLiteral("Show")} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            qCDebug(lcDesktop) << "No desktop notification:" << reply.error().message();
        else
            shown_ = reply.value();
        w->deleteLater();
    });
}

void DesktopNotification::onActionInvoked(uint id, const QString& action) {
    if (id == shown_ && shown_ != 0 && action == kClickAction) emit clicked();
}

void DesktopNotification::onClosed(uint id, uint /*reason*/) {
    if (id == shown_) shown_ = 0;
}

} // namespace tarvik
