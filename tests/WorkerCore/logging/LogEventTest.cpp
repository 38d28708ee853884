#include "logging/LogEvent.h"

#include "LogTestSupport.h"
#include "RunTask.h"
#include "logging/LogStore.h"
#include "logging/RollingFileLogger.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using logtest::utc;

struct LineCase {
    const char* name;
    QDateTime timestamp;
    LogEvent::Level level;
    QString category;
    QString message;
    std::optional<QString> jobID;
    QString line;
};

QList<LineCase> lineCases() {
    return {
        {"with job id", utc(2025, 3, 7, 9, 0, 0, 500), LogEvent::Level::warn, "poll", "x",
         QString("j1"), "2025-03-07T09:00:00.500Z [WARN] poll job=j1: x"},
        {"without job id", utc(2025, 3, 7, 9, 0, 0, 500), LogEvent::Level::warn, "poll", "x",
         std::nullopt, "2025-03-07T09:00:00.500Z [WARN] poll: x"},
        {"error, milliseconds padded", utc(2025, 3, 7, 14, 5, 9, 42), LogEvent::Level::error, "job",
         "Job failed: boom", QString("abc"),
         "2025-03-07T14:05:09.042Z [ERROR] job job=abc: Job failed: boom"},
        {"debug, whole second", utc(2024, 12, 31, 23, 59, 59), LogEvent::Level::debug, "media",
         "tick", std::nullopt, "2024-12-31T23:59:59.000Z [DEBUG] media: tick"},
        // Stamped in another zone: still written in UTC.
        {"non-UTC timestamp",
         QDateTime(QDate(2025, 3, 8), QTime(8, 30, 0, 1), QTimeZone(14 * 3600)),
         LogEvent::Level::info, "recovery", "Marked stale in-flight job as failed", QString("j: 2"),
         "2025-03-07T18:30:00.001Z [INFO] recovery job=j: 2: Marked stale in-flight job as "
         "failed"},
        {"nothing escaped", utc(2025, 3, 7, 0, 0, 0, 999), LogEvent::Level::warn, "a]b",
         "line one\nline two\t\"ünïcode\"", QString("j=1"),
         "2025-03-07T00:00:00.999Z [WARN] a]b job=j=1: line one\nline two\t\"ünïcode\""},
        {"empty texts", utc(2025, 3, 7, 1, 2, 3, 4), LogEvent::Level::info, "", "", QString(""),
         "2025-03-07T01:02:03.004Z [INFO]  job=: "},
    };
}

TEST(LogEventTest, FormattedLineTable) {
    for (const LineCase& c : lineCases()) {
        LogEvent event{QUuid::createUuid(), c.timestamp, c.level, c.category, c.message, c.jobID};
        EXPECT_EQ(event.formattedLine(), c.line) << c.name;
    }
}

// The same cases through the store: the file holds each line plus a line feed, so a
// message with a line feed makes two physical lines for one event.
TEST(LogEventTest, StoreWritesTheLinesToTheDayFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QList<LineCase> cases = lineCases();
    // All on one day, so they land in one file.
    const QList<QDateTime> stamps(cases.size(), utc(2025, 3, 7, 12, 0, 0));
    QString expected;
    {
        LogStore store(dir.path(), 10, 14, nullptr, logtest::sequenceClock(stamps));
        for (const LineCase& c : cases) {
            store.log(c.level, c.category, c.message, c.jobID);
            LogEvent restamped{QUuid(), stamps.first(), c.level, c.category, c.message, c.jobID};
            expected += restamped.formattedLine() + "\n";
        }
        kwtest::runTask(store.flush());
        const QString text =
            logtest::readAll(dir.filePath(RollingFileLogger::fileName("2025-03-07")));
        EXPECT_EQ(text, expected);
        EXPECT_EQ(text.count('\n'), cases.size() + 1);
        EXPECT_TRUE(text.contains("a]b job=j=1: line one\nline two\t"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList{RollingFileLogger::fileName("2025-03-07")});
}

TEST(LogEventTest, LevelTextsAndOrder) {
    const QList<std::pair<LogEvent::Level, QString>> levels = {{LogEvent::Level::debug, "debug"},
                                                               {LogEvent::Level::info, "info"},
                                                               {LogEvent::Level::warn, "warn"},
                                                               {LogEvent::Level::error, "error"}};
    for (const auto& [level, text] : levels) {
        EXPECT_EQ(LogEvent::toString(level), text);
        EXPECT_EQ(LogEvent::levelFromString(text), level) << text.toStdString();
    }
    for (const char* text : {"WARN", "Info", "warning", "", " error", "err", "fatal"}) {
        EXPECT_EQ(LogEvent::levelFromString(QString(text)), std::nullopt) << text;
    }
    EXPECT_LT(LogEvent::Level::debug, LogEvent::Level::info);
    EXPECT_LT(LogEvent::Level::info, LogEvent::Level::warn);
    EXPECT_LT(LogEvent::Level::warn, LogEvent::Level::error);
}

} // namespace
