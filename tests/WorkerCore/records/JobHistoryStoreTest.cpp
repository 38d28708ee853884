#include "records/JobHistoryStore.h"

#include "records/HistoryError.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using State = JobRecord::State;
using JobType = JobRecord::JobType;

QDateTime utc(int hour, int minute = 0, int second = 0, int msec = 0) {
    return QDateTime(QDate(2025, 3, 7), QTime(hour, minute, second, msec), Qt::UTC);
}

JobRecord makeRecord(const QString& id, State state = State::claimed,
                     QDateTime startedAt = utc(10)) {
    JobRecord record;
    record.id = id;
    record.jobType = JobType::thumbnail;
    record.fileName = QStringLiteral("clip-%1.mov").arg(id);
    record.state = state;
    record.startedAt = startedAt;
    return record;
}

QStringList idsOf(const QList<JobRecord>& records) {
    QStringList ids;
    for (const JobRecord& record : records) {
        ids.append(record.id);
    }
    return ids;
}

class JobHistoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path() const { return m_dir.filePath(QStringLiteral("history.sqlite")); }

    // A second, independent connection to look at (or tamper with) the file.
    SQLite::Database inspect() const {
        return SQLite::Database(path().toStdString(), SQLite::OPEN_READWRITE);
    }

    std::vector<std::string> column(const std::string& sql) const {
        auto db = inspect();
        SQLite::Statement query(db, sql);
        std::vector<std::string> values;
        while (query.executeStep()) {
            values.push_back(query.getColumn(0).isNull() ? "<NULL>"
                                                         : query.getColumn(0).getString());
        }
        return values;
    }

    int rowCount() const { return std::stoi(column(R"(SELECT COUNT(*) FROM "jobs")").at(0)); }

    QTemporaryDir m_dir;
};

TEST_F(JobHistoryStoreTest, FreshFileGetsTheSchemaAndReopeningRunsNothing) {
    { JobHistoryStore store(path()); }

    using Names = std::vector<std::string>;
    EXPECT_EQ(column("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
              (Names{"jobs", "schema_migrations"}));
    EXPECT_EQ(column("SELECT name || ' ON ' || tbl_name FROM sqlite_master WHERE type = 'index' "
                     "AND sql IS NOT NULL ORDER BY name"),
              (Names{"idx_jobs_startedAt ON jobs", "idx_jobs_state ON jobs"}));
    EXPECT_EQ(column(R"(SELECT name FROM pragma_index_info('idx_jobs_startedAt'))"),
              (Names{"startedAt"}));
    EXPECT_EQ(column(R"(SELECT name FROM pragma_index_info('idx_jobs_state'))"), (Names{"state"}));
    EXPECT_EQ(column(R"(SELECT name || ' ' || type || ' notnull=' || "notnull" || ' pk=' || pk )"
                     R"(FROM pragma_table_info('jobs') ORDER BY cid)"),
              (Names{
                  "id TEXT notnull=0 pk=1",
                  "jobType TEXT notnull=1 pk=0",
                  "fileName TEXT notnull=1 pk=0",
                  "state TEXT notnull=1 pk=0",
                  "startedAt DATETIME notnull=1 pk=0",
                  "endedAt DATETIME notnull=0 pk=0",
                  "durationSeconds INTEGER notnull=0 pk=0",
                  "outputSizeBytes INTEGER notnull=0 pk=0",
                  "outputS3Key TEXT notnull=0 pk=0",
                  "errorMessage TEXT notnull=0 pk=0",
              }));
    EXPECT_EQ(column(R"(SELECT "identifier" FROM "schema_migrations")"),
              (Names{"createJobsTable"}));
    EXPECT_EQ(column("PRAGMA journal_mode"), (Names{"delete"}));
    const auto schema = column("SELECT sql FROM sqlite_master ORDER BY name");

    // The migration's CREATE TABLE has no IF NOT EXISTS: running it again would fail.
    {
        JobHistoryStore store(path());
        store.insert(makeRecord(QStringLiteral("kept")));
    }
    JobHistoryStore reopened(path());
    EXPECT_EQ(column(R"(SELECT "identifier" FROM "schema_migrations")"),
              (Names{"createJobsTable"}));
    EXPECT_EQ(column("SELECT sql FROM sqlite_master ORDER BY name"), schema);
    EXPECT_TRUE(reopened.record(QStringLiteral("kept")).has_value());
}

TEST_F(JobHistoryStoreTest, EveryFieldRoundTrips) {
    JobHistoryStore store(path());
    JobRecord full = makeRecord(QStringLiteral("job-1"), State::completed);
    full.jobType = JobType::prores;
    full.fileName = QStringLiteral("Ünïcode 'quoted' \"name\".mov");
    full.endedAt = utc(10, 3, 20, 999);
    full.durationSeconds = 8'000'000'000LL;
    full.outputSizeBytes = 0;
    full.outputS3Key = QStringLiteral("outputs/job-1/output.mov");
    full.errorMessage = QString();
    store.insert(full);
    EXPECT_EQ(store.record(QStringLiteral("job-1")), full);

    const JobRecord sparse = makeRecord(QStringLiteral("job-2"), State::downloading);
    store.insert(sparse);
    EXPECT_EQ(store.record(QStringLiteral("job-2")), sparse);
    EXPECT_EQ(store.record(QStringLiteral("job-3")), std::nullopt);
}

TEST_F(JobHistoryStoreTest, DatesAreStoredAsUtcTextWithMilliseconds) {
    JobHistoryStore store(path());
    // QDateTime holds whole milliseconds, so 14:05:09.0421 arrives as .042;
    // the start is given in another zone to show the text is always UTC.
    const QDateTime started =
        QDateTime(QDate(2025, 3, 7), QTime(15, 5, 9, 42), Qt::OffsetFromUTC, 3600);
    JobRecord record = makeRecord(QStringLiteral("t"), State::failed, started);
    record.endedAt = QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
    store.insert(record);

    EXPECT_EQ(column(R"(SELECT "startedAt" || '|' || "endedAt" FROM "jobs")"),
              std::vector<std::string>{"2025-03-07 14:05:09.042|2025-12-31 23:59:59.999"});
    const auto back = store.record(QStringLiteral("t"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->startedAt, utc(14, 5, 9, 42));
    EXPECT_EQ(back->startedAt.timeSpec(), Qt::UTC);
    EXPECT_EQ(back->startedAt.time().msec(), 42);
}

TEST_F(JobHistoryStoreTest, RecentIsNewestFirstAndLimited) {
    JobHistoryStore store(path());
    store.insert(makeRecord(QStringLiteral("ten"), State::completed, utc(10)));
    store.insert(makeRecord(QStringLiteral("twelve"), State::failed, utc(12)));
    store.insert(makeRecord(QStringLiteral("eleven"), State::encoding, utc(11)));

    EXPECT_EQ(idsOf(store.recent(2)), (QStringList{"twelve", "eleven"}));
    EXPECT_EQ(idsOf(store.recent(50)), (QStringList{"twelve", "eleven", "ten"}));
    EXPECT_TRUE(store.recent(0).isEmpty());
    EXPECT_TRUE(store.recent(-1).isEmpty());
}

TEST_F(JobHistoryStoreTest, UpdateRewritesEveryColumnIncludingNulls) {
    JobHistoryStore store(path());
    JobRecord record = makeRecord(QStringLiteral("j"), State::failed);
    record.endedAt = utc(11);
    record.durationSeconds = 12;
    record.outputSizeBytes = 3400;
    record.outputS3Key = QStringLiteral("k");
    record.errorMessage = QStringLiteral("ffmpeg exited with 1");
    store.insert(record);

    JobRecord changed = makeRecord(QStringLiteral("j"), State::encoding, utc(9, 30));
    changed.jobType = JobType::preview;
    changed.fileName = QStringLiteral("renamed.mp4");
    store.update(changed);

    EXPECT_EQ(store.record(QStringLiteral("j")), changed);
    EXPECT_EQ(column(R"(SELECT COALESCE("endedAt", "durationSeconds", "outputSizeBytes", )"
                     R"("outputS3Key", "errorMessage") IS NULL FROM "jobs")"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(JobHistoryStoreTest, UpdateOfAMissingIdFailsAndChangesNothing) {
    JobHistoryStore store(path());
    const JobRecord existing = makeRecord(QStringLiteral("present"), State::uploading);
    store.insert(existing);

    try {
        store.update(makeRecord(QStringLiteral("absent"), State::failed));
        FAIL() << "update of a missing id succeeded";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::recordNotFound);
        EXPECT_TRUE(error.description().contains(QStringLiteral("absent")));
    }
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(store.record(QStringLiteral("present")), existing);
    EXPECT_EQ(store.record(QStringLiteral("absent")), std::nullopt);
}

TEST_F(JobHistoryStoreTest, DuplicateInsertFailsAndKeepsTheExistingRow) {
    JobHistoryStore store(path());
    const JobRecord first = makeRecord(QStringLiteral("dup"), State::claimed, utc(10));
    store.insert(first);

    try {
        store.insert(makeRecord(QStringLiteral("dup"), State::failed, utc(12)));
        FAIL() << "duplicate insert succeeded";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::database);
        EXPECT_TRUE(error.databaseText().contains(QStringLiteral("UNIQUE constraint failed")))
            << error.description().toStdString();
    }
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(store.record(QStringLiteral("dup")), first);
    // The failed write left no transaction open behind it.
    store.insert(makeRecord(QStringLiteral("next")));
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(JobHistoryStoreTest, StaleInFlightIsExactlyTheFiveInFlightStates) {
    JobHistoryStore store(path());
    for (const State state : {State::claimed, State::downloading, State::encoding, State::uploading,
                              State::completing, State::completed, State::failed}) {
        store.insert(makeRecord(JobRecord::toString(state), state));
    }
    const QStringList ids = idsOf(store.staleInFlight());
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()),
              (QSet<QString>{"claimed", "downloading", "encoding", "uploading", "completing"}));
    EXPECT_EQ(ids.size(), 5);
}

TEST_F(JobHistoryStoreTest, PruningKeepsTheNewestFinishedAndEveryInFlightJob) {
    JobHistoryStore store(path());
    store.insert(makeRecord(QStringLiteral("inflight"), State::encoding, utc(8)));
    store.insert(makeRecord(QStringLiteral("f1"), State::completed, utc(9)));
    store.insert(makeRecord(QStringLiteral("f2"), State::failed, utc(10)));
    store.insert(makeRecord(QStringLiteral("f3"), State::completed, utc(11)));
    store.insert(makeRecord(QStringLiteral("f4"), State::failed, utc(12)));

    store.pruneHistory(2);
    EXPECT_EQ(idsOf(store.recent(10)), (QStringList{"f4", "f3", "inflight"}));

    store.pruneHistory(5);
    EXPECT_EQ(rowCount(), 3);

    store.pruneHistory(0);
    EXPECT_EQ(idsOf(store.recent(10)), (QStringList{"inflight"}));

    EXPECT_THROW(store.pruneHistory(-1), HistoryError);
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(JobHistoryStoreTest, PruningLooksAtTheNewestTenThousandFinishedJobsPerCall) {
    JobHistoryStore store(path());
    const int total = static_cast<int>(JobHistoryStore::pruneWindow) + 5;
    {
        auto db = inspect();
        SQLite::Transaction transaction(db);
        SQLite::Statement insert(db, R"(INSERT INTO "jobs" ("id", "jobType", "fileName", )"
                                     R"("state", "startedAt") VALUES (?1, 'preview', 'a', )"
                                     R"('completed', ?2))");
        for (int i = 0; i < total; ++i) {
            insert.bind(1, "job-" + std::to_string(i));
            insert.bind(2, JobHistoryStore::dateText(utc(0).addSecs(i)).toStdString());
            insert.exec();
            insert.reset();
        }
        transaction.commit();
    }

    store.pruneHistory(0);
    EXPECT_EQ(column(R"(SELECT "id" FROM "jobs" ORDER BY "startedAt")"),
              (std::vector<std::string>{"job-0", "job-1", "job-2", "job-3", "job-4"}));
    store.pruneHistory(0);
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(JobHistoryStoreTest, AFileThatIsNotADatabaseFailsToOpen) {
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("These are my notes, not a database.\n").repeated(200));
    }
    try {
        JobHistoryStore store(path());
        FAIL() << "opened a text file as the history";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::database);
        EXPECT_TRUE(error.description().contains(path()));
        EXPECT_TRUE(error.databaseText().contains(QStringLiteral("file is not a database")))
            << error.description().toStdString();
    }
}

TEST_F(JobHistoryStoreTest, AMissingFolderFailsToOpen) {
    const QString missing = m_dir.filePath(QStringLiteral("no-such-folder/history.sqlite"));
    try {
        JobHistoryStore store(missing);
        FAIL() << "opened a database in a missing folder";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::database);
        EXPECT_TRUE(error.description().contains(missing)) << error.description().toStdString();
    }
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(JobHistoryStoreTest, ARowWithAnUnknownValueFailsTheRead) {
    JobHistoryStore store(path());
    store.insert(makeRecord(QStringLiteral("good"), State::completed));
    struct Case {
        const char* column;
        const char* value;
    };
    for (const Case& tampered : {Case{"state", "paused"}, Case{"jobType", "hevc"},
                                 Case{"startedAt", "yesterday"}, Case{"endedAt", "2025-03-07"}}) {
        SCOPED_TRACE(tampered.column);
        {
            auto db = inspect();
            db.exec(R"(DELETE FROM "jobs" WHERE "id" = 'bad')");
            SQLite::Statement insert(db, R"(INSERT INTO "jobs" ("id", "jobType", "fileName", )"
                                         R"("state", "startedAt") VALUES ('bad', 'prores', 'x', )"
                                         R"('encoding', '2025-03-07 10:00:00.000'))");
            insert.exec();
            SQLite::Statement update(db, std::string(R"(UPDATE "jobs" SET ")") + tampered.column +
                                             R"(" = ?1)" + R"( WHERE "id" = 'bad')");
            update.bind(1, tampered.value);
            update.exec();
        }
        try {
            store.record(QStringLiteral("bad"));
            FAIL() << "read a row holding " << tampered.value;
        } catch (const HistoryError& error) {
            EXPECT_EQ(error.kind(), HistoryError::Kind::invalidRow);
            EXPECT_TRUE(error.description().contains(QLatin1String(tampered.value)))
                << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(tampered.column)));
        }
        EXPECT_THROW(store.recent(10), HistoryError);
        EXPECT_TRUE(store.record(QStringLiteral("good")).has_value());
    }
}

TEST_F(JobHistoryStoreTest, AnInvalidStartDateIsRefusedBeforeWriting) {
    JobHistoryStore store(path());
    JobRecord record = makeRecord(QStringLiteral("undated"));
    record.startedAt = QDateTime();
    try {
        store.insert(record);
        FAIL() << "stored a record without a start date";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::invalidRecord);
        EXPECT_TRUE(error.description().contains(QStringLiteral("startedAt")));
    }
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(JobHistoryStoreTest, ConcurrentWritersAreSerialised) {
    JobHistoryStore store(path());
    constexpr int threads = 4;
    constexpr int perThread = 40;
    std::vector<std::thread> workers;
    std::atomic<int> failures = 0;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&store, &failures, t] {
            for (int i = 0; i < perThread; ++i) {
                try {
                    const QString id = QStringLiteral("t%1-%2").arg(t).arg(i);
                    store.insert(makeRecord(id, State::claimed, utc(10).addSecs(i)));
                    JobRecord done = makeRecord(id, State::completed, utc(10).addSecs(i));
                    store.update(done);
                    if (store.record(id) != done) {
                        ++failures;
                    }
                } catch (...) {
                    ++failures;
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(rowCount(), threads * perThread);
    EXPECT_TRUE(store.staleInFlight().isEmpty());
}

} // namespace
