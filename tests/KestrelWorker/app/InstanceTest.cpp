// One agent per user: the lock between processes and the raise message that a
// second copy sends to the first.
#include "RunTask.h"
#include "app/RaiseChannel.h"
#include "platform/SingleInstanceLock.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// A probe process on a lock file; its stdout lines tell what it did.
class Probe {
public:
    explicit Probe(const QString& lockPath) {
        m_process.start(QStringLiteral(KW_PROBE), {lockPath});
    }
    ~Probe() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Waits for a line starting with `prefix`, collecting output meanwhile.
    bool sawLine(const QByteArray& prefix) {
        return kwtest::waitUntil([&] {
            m_output += m_process.readAllStandardOutput();
            for (const QByteArray& line : m_output.split('\n')) {
                if (line.startsWith(prefix)) {
                    return true;
                }
            }
            return false;
        });
    }
    QProcess& process() { return m_process; }
    // waitForFinished says false for a process that has already ended.
    bool ended() {
        return kwtest::waitUntil([&] { return m_process.state() == QProcess::NotRunning; });
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

TEST(SingleInstanceTest, SecondProcessIsRefusedAndRaisesTheFirst) {
    QTemporaryDir dir;
    const QString lock = dir.filePath("KestrelWorker/.singleton-lock");
    Probe first(lock);
    ASSERT_TRUE(first.sawLine("holder observing"));

    Probe second(lock);
    ASSERT_TRUE(second.sawLine("second posted"));
    ASSERT_TRUE(second.ended());
    EXPECT_EQ(second.process().exitCode(), 3);
    EXPECT_TRUE(first.sawLine("raised"));
    // The lock file is a plain empty file, rw-r--r--.
    const QFileInfo info(lock);
    EXPECT_EQ(info.size(), 0);
    EXPECT_EQ(info.permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

TEST(SingleInstanceTest, ACrashedHolderLeavesTheLockFree) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(".singleton-lock");
    {
        Probe crashed(lock);
        ASSERT_TRUE(crashed.sawLine("holder"));
        ::kill(static_cast<pid_t>(crashed.process().processId()), SIGKILL);
        ASSERT_TRUE(crashed.ended());
    }
    Probe next(lock);
    EXPECT_TRUE(next.sawLine("holder"));
}

TEST(SingleInstanceTest, AnUnopenableLockBehavesAsASecondInstance) {
    // Nothing can be created under /proc, even by root.
    EXPECT_FALSE(SingleInstanceLock::tryAcquire("/proc/kestrel-no-such/.singleton-lock"));
    EXPECT_EQ(SingleInstanceLock::lockPath("/proc/kestrel-no-such/KestrelWorker"),
              "/tmp/.kwr-lock");
    QTemporaryDir dir;
    EXPECT_EQ(SingleInstanceLock::lockPath(dir.filePath("KestrelWorker")),
              dir.filePath("KestrelWorker/.singleton-lock"));
    EXPECT_TRUE(QFileInfo(dir.filePath("KestrelWorker")).isDir());
}

TEST(RaiseChannelTest, AnObserverSeesEveryPostUntilItStops) {
    RaiseChannel observer;
    int raised = 0;
    QObject::connect(&observer, &RaiseChannel::raiseRequested, [&] { ++raised; });
    ASSERT_TRUE(observer.observe());
    RaiseChannel sender(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "kw-sender"));
    ASSERT_TRUE(sender.post());
    ASSERT_TRUE(kwtest::waitUntil([&] { return raised >= 1; }));
    observer.stopObserving();
    ASSERT_TRUE(sender.post());
    // Another observer proves the second post went out; the stopped one stays at 1.
    RaiseChannel witness;
    int witnessed = 0;
    QObject::connect(&witness, &RaiseChannel::raiseRequested, [&] { ++witnessed; });
    ASSERT_TRUE(witness.observe());
    ASSERT_TRUE(sender.post());
    ASSERT_TRUE(kwtest::waitUntil([&] { return witnessed >= 1; }));
    EXPECT_EQ(raised, 1);
    QDBusConnection::disconnectFromBus("kw-sender");
}

// The desktop binary itself: a second copy on the same account leaves at once
// and raises the first, which keeps running.
TEST(DesktopBinaryTest, SecondCopyRaisesTheFirstAndExits) {
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_STATE_HOME", home.filePath("state"));
    environment.insert("TMPDIR", home.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const QString binary = QStringLiteral(KW_BIN_DIR "/kestrel-worker");
    const QString lock = home.filePath("data/KestrelWorker/.singleton-lock");

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(binary, {});
    ASSERT_TRUE(first.waitForStarted());
    // Started in earnest once its history database is there.
    ASSERT_TRUE(kwtest::waitUntil(
        [&] { return QFileInfo(home.filePath("data/KestrelWorker/history.sqlite")).exists(); }));
    {
        Probe probe(lock);
        ASSERT_TRUE(probe.sawLine("second"));
    }

    RaiseChannel witness;
    int raised = 0;
    QObject::connect(&witness, &RaiseChannel::raiseRequested, [&] { ++raised; });
    ASSERT_TRUE(witness.observe());
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(binary, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(kwtest::waitUntil([&] { return raised >= 1; }));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate(); // SIGTERM: no job in flight, so it leaves at once
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

} // namespace
