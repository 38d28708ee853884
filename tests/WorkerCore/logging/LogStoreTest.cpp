#include "logging/LogStore.h"

#include "LogTestSupport.h"
#include "RunTask.h"
#include "logging/RollingFileLogger.h"

#include <QDir>
#include <QMutex>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

using logtest::utc;

const QDateTime kNoon = utc(2025, 3, 7, 12, 0, 0);

class LogStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::unique_ptr<LogStore> makeStore(qsizetype capacity, QString directory = {}) {
        return std::make_unique<LogStore>(directory.isEmpty() ? m_dir.path() : directory, capacity,
                                          14, nullptr, [] { return kNoon; });
    }
    QString dayFile() const { return m_dir.filePath(RollingFileLogger::fileName("2025-03-07")); }
    QStringList fileLines() const {
        QStringList lines = logtest::readAll(dayFile()).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty()) {
            lines.removeLast();
        }
        return lines;
    }

    QTemporaryDir m_dir;
};

QStringList messagesOf(const QList<LogEvent>& events) {
    QStringList messages;
    for (const LogEvent& event : events) {
        messages.append(event.message);
    }
    return messages;
}

TEST_F(LogStoreTest, StampsAndHoldsEvents) {
    auto store = makeStore(10);
    store->log(LogEvent::Level::warn, "poll", "claim error: x");
    store->log(LogEvent::Level::error, "job", "Job failed: y", QString("j1"));
    const QList<LogEvent> events = store->snapshot();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].timestamp, kNoon);
    EXPECT_EQ(events[0].level, LogEvent::Level::warn);
    EXPECT_EQ(events[0].category, "poll");
    EXPECT_EQ(events[0].jobID, std::nullopt);
    EXPECT_EQ(events[1].jobID, QString("j1"));
    EXPECT_FALSE(events[0].id.isNull());
    EXPECT_NE(events[0].id, events[1].id);
}

TEST_F(LogStoreTest, DefaultClockIsTheWallClockInUtc) {
    LogStore store(m_dir.path(), 5, 14);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    store.log(LogEvent::Level::info, "c", "m");
    const QDateTime after = QDateTime::currentDateTimeUtc();
    const QDateTime stamp = store.snapshot().at(0).timestamp;
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(stamp.timeSpec(), Qt::UTC);
}

TEST_F(LogStoreTest, ZeroOrNegativeCapacityStillStreamsAndWrites) {
    for (qsizetype capacity : {qsizetype(0), qsizetype(-3)}) {
        QFile::remove(dayFile());
        QStringList received;
        {
            auto store = makeStore(capacity);
            QObject context;
            store->subscribe(&context, [&](const LogEvent& e) { received.append(e.message); });
            for (const char* message : {"a", "b", "c"}) {
                store->log(LogEvent::Level::info, "t", message);
            }
            EXPECT_TRUE(store->snapshot().isEmpty()) << capacity;
            kwtest::runTask(store->flush());
            EXPECT_EQ(fileLines().size(), 3) << capacity;
        }
        EXPECT_EQ(received, (QStringList{"a", "b", "c"})) << capacity;
    }
}

TEST_F(LogStoreTest, FullRingDropsTheOldest) {
    auto store = makeStore(1000);
    for (int i = 0; i < 1001; ++i) {
        store->log(LogEvent::Level::debug, "n", QString::number(i));
    }
    const QStringList messages = messagesOf(store->snapshot());
    ASSERT_EQ(messages.size(), 1000);
    EXPECT_EQ(messages.first(), "1");
    EXPECT_EQ(messages.last(), "1000");
    // Still oldest first all the way through.
    for (int i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(messages[i], QString::number(i + 1));
    }
}

TEST_F(LogStoreTest, LateSubscriberSeesOnlyLaterEventsInOrder) {
    auto store = makeStore(100);
    for (const char* message : {"1", "2", "3"}) {
        store->log(LogEvent::Level::info, "t", message);
    }
    QObject context;
    QList<LogEvent> received;
    store->subscribe(&context, [&](const LogEvent& e) { received.append(e); });
    for (const char* message : {"4", "5", "6"}) {
        store->log(LogEvent::Level::info, "t", message);
    }
    EXPECT_EQ(messagesOf(received), (QStringList{"4", "5", "6"}));
    // The streamed events are the held ones, not copies with other ids.
    EXPECT_EQ(received, store->snapshot().mid(3));
}

TEST_F(LogStoreTest, EndedSubscriptionsReceiveNothingMore) {
    auto store = makeStore(10);
    int destroyedCount = 0;
    int disconnectedCount = 0;
    int keptCount = 0;
    auto destroyed = std::make_unique<QObject>();
    QObject other;
    QObject kept;
    store->subscribe(destroyed.get(), [&](const LogEvent&) { ++destroyedCount; });
    const QMetaObject::Connection connection =
        store->subscribe(&other, [&](const LogEvent&) { ++disconnectedCount; });
    store->subscribe(&kept, [&](const LogEvent&) { ++keptCount; });

    store->log(LogEvent::Level::info, "t", "first");
    destroyed.reset();
    QObject::disconnect(connection);
    store->log(LogEvent::Level::info, "t", "second");
    store->log(LogEvent::Level::info, "t", "third");

    EXPECT_EQ(destroyedCount, 1);
    EXPECT_EQ(disconnectedCount, 1);
    EXPECT_EQ(keptCount, 3);
}

TEST_F(LogStoreTest, SubscriberOnAnotherThreadGetsEventsQueued) {
    auto store = makeStore(10);
    QThread thread;
    QObject context;
    context.moveToThread(&thread);
    thread.start();
    QStringList received;
    QMutex mutex;
    store->subscribe(&context, [&](const LogEvent& e) {
        QMutexLocker lock(&mutex);
        received.append(e.message);
    });
    store->log(LogEvent::Level::info, "t", "over");
    store->log(LogEvent::Level::info, "t", "there");
    EXPECT_TRUE(kwtest::waitUntil([&] {
        QMutexLocker lock(&mutex);
        return received.size() == 2;
    }));
    thread.quit();
    thread.wait();
    EXPECT_EQ(received, (QStringList{"over", "there"}));
}

TEST_F(LogStoreTest, FlushCompletesWithEveryEarlierLineWritten) {
    auto store = makeStore(10);
    for (int i = 0; i < 200; ++i) {
        store->log(LogEvent::Level::info, "t", QString::number(i));
    }
    kwtest::runTask(store->flush());
    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 200);
    EXPECT_TRUE(lines.last().endsWith(": 199"));
}

TEST_F(LogStoreTest, DestroyingTheStoreKeepsEveryLineInOrder) {
    {
        auto store = makeStore(10);
        for (int i = 0; i < 3000; ++i) {
            store->log(LogEvent::Level::info, "t", QString::number(i));
        }
    }
    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 3000);
    for (int i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], "2025-03-07T12:00:00.000Z [INFO] t: " + QString::number(i));
    }
}

TEST_F(LogStoreTest, StoreDestroyedAtOnceStillWritesItsLines) {
    // Right after construction the writer thread may not be running yet.
    for (int round = 0; round < 50; ++round) {
        auto store = makeStore(10);
        store->log(LogEvent::Level::info, "t", QString::number(round));
        store.reset();
        ASSERT_EQ(fileLines().size(), round + 1) << round;
    }
}

TEST_F(LogStoreTest, UnwritableFolderLeavesMemoryAndSubscribersWorking) {
    // A folder below a regular file can never be created.
    const QString blocker = m_dir.filePath("blocker");
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString logs = blocker + "/logs";
    auto store = makeStore(10, logs);
    QObject context;
    QStringList received;
    store->subscribe(&context, [&](const LogEvent& e) { received.append(e.message); });
    store->log(LogEvent::Level::error, "job", "Job failed: disk", QString("j1"));
    store->log(LogEvent::Level::warn, "poll", "claim error: net");
    kwtest::runTask(store->flush());
    kwtest::runTask(store->pruneOldLogs());
    EXPECT_EQ(received, (QStringList{"Job failed: disk", "claim error: net"}));
    EXPECT_EQ(messagesOf(store->snapshot()), received);
    EXPECT_FALSE(QFileInfo::exists(logs));
    store.reset();
    EXPECT_TRUE(QFileInfo(blocker).isFile());
}

TEST_F(LogStoreTest, PruneUsesTheStoreClock) {
    for (const char* day : {"2025-02-20", "2025-02-21", "2025-02-22"}) {
        QFile file(m_dir.filePath(RollingFileLogger::fileName(day)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // 2025-03-07 12:00 minus 14 days is 2025-02-21 12:00.
    auto store = makeStore(10);
    kwtest::runTask(store->pruneOldLogs());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("worker-2025-02-20.log")));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("worker-2025-02-21.log")));
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("worker-2025-02-22.log")));
}

} // namespace
