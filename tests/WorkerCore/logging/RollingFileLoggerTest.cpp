#include "logging/RollingFileLogger.h"

#include "LogTestSupport.h"
#include "RunTask.h"
#include "logging/LogStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

using logtest::utc;

// The whole binary runs fourteen hours ahead of UTC, so any use of local time in day
// texts or file names shows up as a wrong date. Set before main, before Qt reads it.
const bool kFarTimeZone = [] {
    setenv("TZ", "Pacific/Kiritimati", 1);
    tzset();
    return true;
}();

LogEvent eventAt(const QDateTime& timestamp, QString message) {
    return LogEvent{QUuid::createUuid(), timestamp,   LogEvent::Level::info, "t",
                    std::move(message),  std::nullopt};
}

class RollingFileLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kFarTimeZone);
        ASSERT_TRUE(m_dir.isValid());
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString dayFile(const QString& day) const { return path(RollingFileLogger::fileName(day)); }
    void touch(const QString& name) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    QStringList entries() const {
        QStringList names =
            QDir(m_dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        return names;
    }

    QTemporaryDir m_dir;
};

TEST_F(RollingFileLoggerTest, TheTestRunsFarFromUtc) {
    const QDateTime instant = utc(2025, 3, 7, 12, 0, 0);
    EXPECT_EQ(instant.toLocalTime().offsetFromUtc(), 14 * 3600);
}

TEST_F(RollingFileLoggerTest, RollsOverAtMidnightUtc) {
    const QDateTime late = utc(2025, 3, 7, 23, 59, 59, 900);
    const QDateTime early = utc(2025, 3, 8, 0, 0, 0, 100);
    {
        LogStore store(m_dir.path(), 10, 14, nullptr, logtest::sequenceClock({late, early}));
        store.log(LogEvent::Level::info, "t", "before midnight");
        store.log(LogEvent::Level::info, "t", "after midnight");
        kwtest::runTask(store.flush());
    }
    EXPECT_EQ(entries(), (QStringList{"worker-2025-03-07.log", "worker-2025-03-08.log"}));
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-07")),
              "2025-03-07T23:59:59.900Z [INFO] t: before midnight\n");
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-08")),
              "2025-03-08T00:00:00.100Z [INFO] t: after midnight\n");
}

TEST_F(RollingFileLoggerTest, DayTextIsTheUtcDay) {
    // 2025-03-08 09:00 in Kiritimati is still 2025-03-07 in UTC.
    const QDateTime local(QDate(2025, 3, 8), QTime(9, 0), Qt::LocalTime);
    EXPECT_EQ(RollingFileLogger::dayText(local), "2025-03-07");
    EXPECT_EQ(RollingFileLogger::dayText(utc(2025, 3, 7, 23, 59, 59, 999)), "2025-03-07");
    EXPECT_EQ(RollingFileLogger::fileName("2025-03-07"), "worker-2025-03-07.log");
}

TEST_F(RollingFileLoggerTest, LateEventGoesBackToItsOwnDay) {
    RollingFileLogger logger(m_dir.path(), 14);
    logger.write(eventAt(utc(2025, 3, 7, 23, 59, 59, 0), "a"));
    logger.write(eventAt(utc(2025, 3, 8, 0, 0, 1, 0), "b"));
    logger.write(eventAt(utc(2025, 3, 7, 23, 59, 59, 500), "late"));
    logger.write(eventAt(utc(2025, 3, 8, 0, 0, 2, 0), "c"));
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-07")), "2025-03-07T23:59:59.000Z [INFO] t: a\n"
                                                       "2025-03-07T23:59:59.500Z [INFO] t: late\n");
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-08")), "2025-03-08T00:00:01.000Z [INFO] t: b\n"
                                                       "2025-03-08T00:00:02.000Z [INFO] t: c\n");
}

TEST_F(RollingFileLoggerTest, RestartOnTheSameDayAppends) {
    const QDateTime morning = utc(2025, 3, 7, 8, 0, 0);
    {
        RollingFileLogger first(m_dir.path(), 14);
        first.write(eventAt(morning, "first run"));
    }
    {
        RollingFileLogger second(m_dir.path(), 14);
        second.write(eventAt(morning.addSecs(60), "second run"));
    }
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-07")),
              "2025-03-07T08:00:00.000Z [INFO] t: first run\n"
              "2025-03-07T08:01:00.000Z [INFO] t: second run\n");
}

TEST_F(RollingFileLoggerTest, CreatesMissingFolders) {
    const QString nested = path("a/b/logs");
    RollingFileLogger logger(nested, 14);
    EXPECT_TRUE(QFileInfo(nested).isDir());
    logger.write(eventAt(utc(2025, 3, 7, 8, 0, 0), "x"));
    EXPECT_EQ(logtest::readAll(nested + "/worker-2025-03-07.log"),
              "2025-03-07T08:00:00.000Z [INFO] t: x\n");
}

TEST_F(RollingFileLoggerTest, UnopenableDayWritesNothingUntilTheNextDay) {
    // A folder where the day file should be: it cannot be opened for writing.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("worker-2025-03-07.log"));
    RollingFileLogger logger(m_dir.path(), 14);
    logger.write(eventAt(utc(2025, 3, 7, 8, 0, 0), "lost"));
    logger.write(eventAt(utc(2025, 3, 7, 9, 0, 0), "lost too"));
    logger.flush();
    logger.write(eventAt(utc(2025, 3, 8, 1, 0, 0), "kept"));
    EXPECT_TRUE(QFileInfo(dayFile("2025-03-07")).isDir());
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-08")), "2025-03-08T01:00:00.000Z [INFO] t: kept\n");
}

struct PruneCase {
    const char* name;
    QDateTime now;
    QString oldestKept;
};

TEST_F(RollingFileLoggerTest, PruneBoundaries) {
    const QList<PruneCase> cases = {
        // Cutoff 2025-03-08 12:00: the 8th's midnight is earlier, so it goes.
        {"midday", utc(2025, 3, 22, 12, 0, 0), "2025-03-09"},
        // Cutoff 2025-03-08 00:00 equals the 8th's midnight, which is not earlier.
        {"midnight", utc(2025, 3, 22, 0, 0, 0), "2025-03-08"},
        {"just after midnight", utc(2025, 3, 22, 0, 0, 0, 1), "2025-03-09"},
    };
    const QStringList others = {"worker-notes.txt",      "notes.log",      "worker-.log",
                                "worker-2025-13-01.log", "worker-garbage", ".hidden.log"};
    for (const PruneCase& c : cases) {
        QDir(m_dir.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dir.path()));
        QStringList days;
        for (QDate day(2025, 2, 20); day <= QDate(2025, 3, 22); day = day.addDays(1)) {
            days.append(day.toString("yyyy-MM-dd"));
            touch(RollingFileLogger::fileName(days.last()));
        }
        for (const QString& name : others) {
            touch(name);
        }
        RollingFileLogger logger(m_dir.path(), 14);
        logger.pruneOldFiles(c.now);

        QStringList expected = others;
        for (const QString& day : days) {
            if (day >= c.oldestKept) {
                expected.append(RollingFileLogger::fileName(day));
            }
        }
        expected.sort();
        QStringList actual = entries();
        actual.sort();
        EXPECT_EQ(actual, expected) << c.name;
    }
}

TEST_F(RollingFileLoggerTest, PruneKeepsWritingToTheOpenDay) {
    RollingFileLogger logger(m_dir.path(), 14);
    logger.write(eventAt(utc(2025, 3, 22, 8, 0, 0), "before"));
    logger.pruneOldFiles(utc(2025, 3, 22, 12, 0, 0));
    logger.write(eventAt(utc(2025, 3, 22, 13, 0, 0), "after"));
    EXPECT_EQ(logtest::readAll(dayFile("2025-03-22")),
              "2025-03-22T08:00:00.000Z [INFO] t: before\n"
              "2025-03-22T13:00:00.000Z [INFO] t: after\n");
}

} // namespace
