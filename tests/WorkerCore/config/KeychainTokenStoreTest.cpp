#include "config/KeychainTokenStore.h"

#include "RunTask.h"
#include "config/KeychainError.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>
#include <qt6keychain/keychain.h>

// These run against the real Secret Service (gnome-keyring-daemon) that
// scripts/run-tests.sh starts in a private D-Bus session.

namespace {

const QString kAccount = QStringLiteral("worker-token");

// Talks to the keyring directly, bypassing the store, to see or plant raw bytes.
QCoro::Task<QByteArray> rawRead(QString service) {
    QKeychain::ReadPasswordJob job(service);
    job.setAutoDelete(false);
    job.setKey(kAccount);
    QMetaObject::invokeMethod(&job, &QKeychain::Job::start, Qt::QueuedConnection);
    co_await qCoro(&job, &QKeychain::Job::finished);
    EXPECT_EQ(job.error(), QKeychain::NoError) << job.errorString().toStdString();
    co_return job.binaryData();
}

QCoro::Task<void> rawWrite(QString service, QByteArray bytes) {
    QKeychain::WritePasswordJob job(service);
    job.setAutoDelete(false);
    job.setKey(kAccount);
    job.setBinaryData(bytes);
    QMetaObject::invokeMethod(&job, &QKeychain::Job::start, Qt::QueuedConnection);
    co_await qCoro(&job, &QKeychain::Job::finished);
    EXPECT_EQ(job.error(), QKeychain::NoError) << job.errorString().toStdString();
}

class KeychainTokenStoreTest : public ::testing::Test {
protected:
    // A service of its own per test, so runs and parallel tests never collide.
    KeychainTokenStoreTest()
        : m_service(QStringLiteral("com.talmark.KestrelWorker.test.") +
                    QUuid::createUuid().toString(QUuid::WithoutBraces))
        , m_store(m_service) {}

    void TearDown() override {
        try {
            kwtest::runTask(m_store.deleteToken());
        } catch (const std::exception& error) {
            ADD_FAILURE() << "cleanup failed: " << error.what();
        }
    }

    std::optional<QString> read() { return kwtest::runTask(m_store.readToken()); }
    void save(const QString& token) { kwtest::runTask(m_store.saveToken(token)); }

    QString m_service;
    KeychainTokenStore m_store;
};

TEST_F(KeychainTokenStoreTest, MissingTokenReadsAbsentAndDeletesCleanly) {
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_NO_THROW(kwtest::runTask(m_store.deleteToken()));
    EXPECT_EQ(read(), std::nullopt);
}

TEST_F(KeychainTokenStoreTest, SaveCreatesThenReplacesAndDeleteRemoves) {
    save(QStringLiteral("first-token"));
    EXPECT_EQ(read(), QStringLiteral("first-token"));

    save(QStringLiteral("second-token"));
    EXPECT_EQ(read(), QStringLiteral("second-token"));

    kwtest::runTask(m_store.deleteToken());
    EXPECT_EQ(read(), std::nullopt);
}

TEST_F(KeychainTokenStoreTest, TokenIsStoredAsItsUtf8BytesUnchanged) {
    const QString tokens[] = {
        QStringLiteral("tøken-Ünïcødé-令牌-🔑"),
        QStringLiteral("  padded token\twith tab  "),
        QString(QChar(0xFEFF)) + QStringLiteral("bom-first"),
    };
    for (const QString& token : tokens) {
        SCOPED_TRACE(token.toStdString());
        save(token);
        EXPECT_EQ(read(), token);
        EXPECT_EQ(kwtest::runTask(rawRead(m_service)), token.toUtf8());
    }
}

TEST_F(KeychainTokenStoreTest, EmptyTokenReadsBackEmpty) {
    save(QStringLiteral("something"));
    save(QString());
    const auto token = read();
    ASSERT_TRUE(token.has_value());
    EXPECT_TRUE(token->isEmpty());
}

TEST_F(KeychainTokenStoreTest, BytesThatAreNotUtf8ReadAsAbsent) {
    kwtest::runTask(rawWrite(m_service, QByteArray("tok\xff\xfe-en", 8)));
    EXPECT_EQ(read(), std::nullopt);
}

TEST_F(KeychainTokenStoreTest, DefaultServiceIsTheApplicationsOwn) {
    const KeychainTokenStore store;
    EXPECT_EQ(store.service(), QStringLiteral("com.talmark.KestrelWorker.workerToken"));
    EXPECT_EQ(store.account(), QStringLiteral("worker-token"));
}

// A session bus of our own with nothing on it: no service directories, so no
// keyring can be activated either.
class BareSessionBus {
public:
    bool start(const QString& configPath) {
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly)) {
            return false;
        }
        config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(10000)) {
            return false;
        }
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty();
    }

    ~BareSessionBus() {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
    }

    const QString& address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// The case runs in two roles. As the parent it re-executes this binary for
// itself alone with a session bus that has no Secret Service (the D-Bus
// connection is made once per process, so that cannot be done in place); as
// the child it talks to QtKeychain over that bus and prints what it saw.
TEST(KeychainWithoutSecretService, EveryOperationFailsSayingNoKeyringIsAvailable) {
    const char* const childMarker = "KW_KEYCHAIN_NO_BUS_CHILD";
    if (qEnvironmentVariableIsSet(childMarker)) {
        KeychainTokenStore store(QStringLiteral("com.talmark.KestrelWorker.test.nobus"));
        const auto expectFailure = [](auto task, const char* operation) {
            try {
                kwtest::runTask(std::move(task));
                ADD_FAILURE() << operation << " succeeded without a Secret Service";
            } catch (const KeychainError& error) {
                EXPECT_EQ(error.errorCase(), KeychainError::Case::unexpectedStatus);
                EXPECT_TRUE(error.isSecretServiceUnavailable());
                printf("%s status=%d\n%s description=%s\n", operation, error.status(), operation,
                       qPrintable(error.description()));
            }
        };
        expectFailure(store.readToken(), "read");
        expectFailure(store.saveToken(QStringLiteral("t")), "save");
        expectFailure(store.deleteToken(), "delete");
        return;
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    BareSessionBus bareBus;
    ASSERT_TRUE(bareBus.start(dir.filePath(QStringLiteral("bus.conf"))));

    const QString addresses[] = {
        QStringLiteral("unix:path=/nonexistent/kestrel-test-bus"),
        bareBus.address(),
    };
    for (const QString& address : addresses) {
        SCOPED_TRACE(address.toStdString());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childMarker), QStringLiteral("1"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=KeychainWithoutSecretService.*")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromUtf8(child.readAll());
        SCOPED_TRACE(output.toStdString());
        ASSERT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
        // QtKeychain reports a missing Secret Service as its generic error (7).
        for (const char* operation : {"read", "save", "delete"}) {
            EXPECT_TRUE(
                output.contains(QStringLiteral("%1 status=7").arg(QLatin1String(operation))))
                << operation;
            EXPECT_TRUE(output.contains(
                QStringLiteral("%1 description=No Secret Service (keyring such as GNOME Keyring "
                               "or KWallet) is available on the D-Bus session bus")
                    .arg(QLatin1String(operation))))
                << operation;
        }
    }
}

} // namespace
