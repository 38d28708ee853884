#pragma once

#include "notifications/Notifier.h"

#include <QDBusConnection>
#include <QString>

// Posts desktop notifications through org.freedesktop.Notifications on the
// session bus. Notifications are allowed while that service is on the bus
// (running or activatable); otherwise, and on any error, nothing happens.
class UserNotificationsNotifier final : public Notifier {
public:
    static QString defaultServiceName();
    static QString applicationName();

    // The service name is a parameter so tests can serve it under a unique name
    // on a shared bus.
    explicit UserNotificationsNotifier(QDBusConnection connection = QDBusConnection::sessionBus(),
                                       QString serviceName = defaultServiceName());

    QCoro::Task<void> post(QString title, QString body) override;

private:
    QDBusConnection m_connection;
    QString m_serviceName;
};
