#include "notifications/UserNotificationsNotifier.h"

#include "RunTask.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Received {
    QString appName;
    uint replacesID = 99;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

// Stands in for the desktop's notification daemon (none runs in the test
// session): the real interface, exported on the real session bus.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::vector<Received> received;

public Q_SLOTS:
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expire_timeout) {
        received.push_back(
            {app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout});
        return uint(received.size());
    }
};

// Test processes share one bus, so every one serves under its own name.
QString uniqueServiceName() {
    return QStringLiteral("org.kestrel.test.Notifications.p%1")
        .arg(QCoreApplication::applicationPid());
}

// The server has a connection of its own, so calls really cross the bus.
class ServedNotifications {
public:
    ServedNotifications()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("kw-test-notification-server"))) {
        m_exported = m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                          QDBusConnection::ExportAllSlots);
    }
    ~ServedNotifications() {
        stop();
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("kw-test-notification-server"));
    }

    bool start() { return m_exported && m_bus.registerService(uniqueServiceName()); }
    void stop() { m_bus.unregisterService(uniqueServiceName()); }

    NotificationServer server;

private:
    QDBusConnection m_bus;
    bool m_exported = false;
};

bool nameOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(uniqueServiceName());
}

TEST(UserNotificationsNotifierTest, DeliversTitleAndBodyToTheService) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    ServedNotifications served;
    ASSERT_TRUE(served.start());

    UserNotificationsNotifier notifier(QDBusConnection::sessionBus(), uniqueServiceName());
    const QString body = QString::fromUtf8("Re-enter it in Settings \xE2\x86\x92 Account.");
    kwtest::runTask(notifier.post(QStringLiteral("Token rejected"), body));

    // post returns once the service has answered.
    ASSERT_EQ(served.server.received.size(), 1u);
    const Received& r = served.server.received[0];
    EXPECT_EQ(r.appName, QStringLiteral("Kestrel Worker"));
    EXPECT_EQ(r.replacesID, 0u);
    EXPECT_EQ(r.appIcon, QString());
    EXPECT_EQ(r.summary, QStringLiteral("Token rejected"));
    EXPECT_EQ(r.body, body);
    EXPECT_TRUE(r.actions.isEmpty());
    EXPECT_TRUE(r.hints.isEmpty());
    EXPECT_EQ(r.expireTimeout, -1);

    kwtest::runTask(notifier.post(QStringLiteral("Job failed"), QStringLiteral("Job 1: x")));
    ASSERT_EQ(served.server.received.size(), 2u);
    EXPECT_EQ(served.server.received[1].summary, QStringLiteral("Job failed"));
}

TEST(UserNotificationsNotifierTest, NoServiceOnTheBusIsSilentlyDropped) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    UserNotificationsNotifier notifier(QDBusConnection::sessionBus(), uniqueServiceName());
    EXPECT_NO_THROW(kwtest::runTask(notifier.post(QStringLiteral("t"), QStringLiteral("b"))));
}

// Availability is asked on every post, never remembered.
TEST(UserNotificationsNotifierTest, ServiceComingAndGoingCountsAtTheNextPost) {
    ServedNotifications served;
    UserNotificationsNotifier notifier(QDBusConnection::sessionBus(), uniqueServiceName());

    kwtest::runTask(notifier.post(QStringLiteral("before"), QStringLiteral("b")));
    ASSERT_TRUE(served.start());
    ASSERT_TRUE(kwtest::waitUntil(nameOnBus));
    kwtest::runTask(notifier.post(QStringLiteral("while served"), QStringLiteral("b")));

    served.stop();
    ASSERT_TRUE(kwtest::waitUntil([] { return !nameOnBus(); }));
    kwtest::runTask(notifier.post(QStringLiteral("after leaving"), QStringLiteral("b")));

    ASSERT_TRUE(served.start());
    ASSERT_TRUE(kwtest::waitUntil(nameOnBus));
    kwtest::runTask(notifier.post(QStringLiteral("back again"), QStringLiteral("b")));

    std::vector<QString> summaries;
    for (const Received& r : served.server.received) {
        summaries.push_back(r.summary);
    }
    EXPECT_EQ(summaries, (std::vector<QString>{"while served", "back again"}));
}

TEST(UserNotificationsNotifierTest, DisconnectedBusIsSilentlyDropped) {
    UserNotificationsNotifier notifier(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/kw-bus"),
                                      QStringLiteral("kw-test-nowhere")),
        uniqueServiceName());
    EXPECT_NO_THROW(kwtest::runTask(notifier.post(QStringLiteral("t"), QStringLiteral("b"))));
}

} // namespace

#include "UserNotificationsNotifierTest.moc"
