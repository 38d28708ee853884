#include "notifications/UserNotificationsNotifier.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace {

QDBusMessage busDaemonCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

QCoro::Task<QDBusMessage> callAsync(QDBusConnection bus, QDBusMessage message) {
    const QDBusPendingCall pending = bus.asyncCall(message);
    co_return co_await pending;
}

// The service runs now or the bus can start it on demand.
QCoro::Task<bool> serviceAvailable(QDBusConnection bus, QString service) {
    QDBusMessage hasOwner = busDaemonCall(QStringLiteral("NameHasOwner"));
    hasOwner << service;
    const QDBusMessage owned = co_await callAsync(bus, hasOwner);
    if (owned.type() == QDBusMessage::ReplyMessage && owned.arguments().value(0).toBool()) {
        co_return true;
    }
    const QDBusMessage activatable =
        co_await callAsync(bus, busDaemonCall(QStringLiteral("ListActivatableNames")));
    co_return activatable.type() ==
        QDBusMessage::ReplyMessage&& activatable.arguments().value(0).toStringList().contains(
            service);
}

} // namespace

QString UserNotificationsNotifier::defaultServiceName() {
    return QStringLiteral("org.freedesktop.Notifications");
}

QString UserNotificationsNotifier::applicationName() {
    return QStringLiteral("Kestrel Worker");
}

UserNotificationsNotifier::UserNotificationsNotifier(QDBusConnection connection,
                                                     QString serviceName)
    : m_connection(std::move(connection))
    , m_serviceName(std::move(serviceName)) {}

QCoro::Task<void> UserNotificationsNotifier::post(QString title, QString body) {
    // Copies: nothing of this object is touched once the first reply is awaited.
    const QDBusConnection bus = m_connection;
    const QString service = m_serviceName;
    try {
        if (!bus.isConnected()) {
            co_return;
        }
        // Asked on every post, so a service that appears or goes away later counts.
        if (!co_await serviceAvailable(bus, service)) {
            co_return;
        }
        QDBusMessage notify = QDBusMessage::createMethodCall(
            service, QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        // A new notification (replaces_id 0), no icon, actions or hints, the
        // server's own expiry.
        notify << applicationName() << uint(0) << QString() << title << body << QStringList()
               << QVariantMap() << int(-1);
        co_await callAsync(bus, notify);
        // The reply (the server's id, or an error) is of no further use.
    } catch (...) {
    }
}
