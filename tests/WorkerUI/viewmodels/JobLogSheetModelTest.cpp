#include "log/JobLogSheetModel.h"

#include "RunTask.h"
#include "ViewModelFakes.h"
#include "async/FileSystemError.h"
#include "logging/LogStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

TEST(JobLogSheetModel, MatchingLinesComeFromTheDailyFilesOldestFirst) {
    QTemporaryDir dir;
    // Written newest first, so file creation order cannot pass for date order.
    write(dir.filePath("worker-2025-03-07.log"),
          "2025-03-07T08:00:00.000Z [INFO] job job=j1: day two\n"
          "\n"
          "2025-03-07T08:00:01.000Z [INFO] job job=j2: other job\n"
          "2025-03-07T08:00:02.000Z [ERROR] job job=j10: longer id\n");
    write(dir.filePath("worker-2025-03-06.log"),
          "2025-03-06T23:59:59.000Z [INFO] job job=j1: day one\n"
          "2025-03-06T23:59:59.500Z [INFO] poll: mentions j1 without the key\n"
          "2025-03-06T23:59:59.900Z [INFO] job job=J1: other case\n");
    // Not UTF-8: skipped whole, the other files still count.
    write(dir.filePath("worker-2025-03-05.log"), "job=j1 \xff\xfe broken\n");
    // Not daily log files by name.
    write(dir.filePath("other-2025-03-06.log"), "job=j1 wrong prefix\n");
    write(dir.filePath("worker-2025-03-06.txt"), "job=j1 wrong extension\n");
    write(dir.filePath("worker-2025-03-06.log.gz"), "job=j1 compressed\n");
    write(dir.filePath("worker-2025-03-08.LOG"), "job=j1 extension in capitals\n");
    // A folder with a log file's name cannot be read as one.
    ASSERT_TRUE(QDir(dir.path()).mkdir("worker-2025-03-09.log"));

    EXPECT_EQ(JobLogSheetModel::matchingLines(dir.path(), "j1"),
              (QStringList{"2025-03-06T23:59:59.000Z [INFO] job job=j1: day one",
                           "2025-03-07T08:00:00.000Z [INFO] job job=j1: day two",
                           "2025-03-07T08:00:02.000Z [ERROR] job job=j10: longer id"}));
    EXPECT_TRUE(JobLogSheetModel::matchingLines(dir.path(), "j3").isEmpty());
}

TEST(JobLogSheetModel, AnUnlistableDirectoryFails) {
    QTemporaryDir dir;
    EXPECT_THROW(JobLogSheetModel::matchingLines(dir.filePath("missing"), "j1"), FileSystemError);
    write(dir.filePath("plain-file"), "job=j1\n");
    EXPECT_THROW(JobLogSheetModel::matchingLines(dir.filePath("plain-file"), "j1"),
                 FileSystemError);
}

TEST(JobLogSheetModel, ContentIsLoadingThenTheLinesOrTheEmptyText) {
    QTemporaryDir dir;
    write(dir.filePath("worker-2025-03-07.log"), "a job=j1: one\nb job=j1: two\n");

    JobLogSheetModel found("j1", dir.path());
    EXPECT_EQ(found.title(), "Log for job j1");
    EXPECT_EQ(found.content(), QString::fromUtf8("Loading\u2026"));
    found.loadLines();
    EXPECT_EQ(found.content(), "a job=j1: one\nb job=j1: two");

    JobLogSheetModel none("j9", dir.path());
    none.loadLines();
    EXPECT_EQ(none.content(), "(no log lines for this job)");

    JobLogSheetModel missing("j1", dir.filePath("missing"));
    missing.loadLines();
    EXPECT_EQ(missing.content(), "(no log lines for this job)");
}

// The files exactly as the agent writes them, across a change of UTC day.
TEST(JobLogSheetModel, FindsTheLinesTheLogStoreWrote) {
    QTemporaryDir dir;
    const QList<QDateTime> instants = {
        QDateTime(QDate(2025, 3, 6), QTime(23, 59, 58), QTimeZone::utc()),
        QDateTime(QDate(2025, 3, 6), QTime(23, 59, 59), QTimeZone::utc()),
        QDateTime(QDate(2025, 3, 7), QTime(0, 0, 1), QTimeZone::utc()),
    };
    auto next = std::make_shared<int>(0);
    {
        LogStore store(dir.path(), 10, 14, nullptr,
                       [instants, next] { return instants.at(std::min(2, (*next)++)); });
        store.log(LogEvent::Level::info, "job", "Downloading", QString("job-42"));
        store.log(LogEvent::Level::warn, "poll", "claim error: job=job-42 is not a job id");
        store.log(LogEvent::Level::error, "job", "Job failed: ffmpeg exited 1", QString("job-42"));
        kwtest::runTask(store.flush());
    }
    EXPECT_EQ(JobLogSheetModel::matchingLines(dir.path(), "job-42"),
              (QStringList{"2025-03-06T23:59:58.000Z [INFO] job job=job-42: Downloading",
                           "2025-03-06T23:59:59.000Z [WARN] poll: claim error: job=job-42 is "
                           "not a job id",
                           "2025-03-07T00:00:01.000Z [ERROR] job job=job-42: Job failed: ffmpeg "
                           "exited 1"}));
}
