#pragma once
// A desktop notification through the freedesktop notification service on the
// session bus (GNOME, KDE and most other desktops provide it).
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tarvik {

class DesktopNotification : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotification(QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);

    // Shows the text, in place of what this object showed before. The call does
    // not wait for the service: a desktop without one costs nothing.
    void show(const QString& summary, const QString& body);

signals:
    // The user clicked the notification.
    void clicked();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    uint shown_ = 0; // the service's id of what is on screen, 0 for none
};

} // namespace tarvik
