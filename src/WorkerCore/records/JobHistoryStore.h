#pragma once

#include "records/HistoryReading.h"
#include "records/JobRecord.h"

#include <QList>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

namespace SQLite {
class Database;
}

// The durable job history: one SQLite file, one connection, every call
// serialised on it and every write one transaction. Callable from any thread;
// every failure is a `HistoryError`.
class JobHistoryStore : public HistoryReading {
public:
    // Opens or creates the file (its folder must exist) and runs pending
    // migrations; a file that is not a database fails here.
    explicit JobHistoryStore(const QString& databasePath);
    ~JobHistoryStore() override;

    JobHistoryStore(const JobHistoryStore&) = delete;
    JobHistoryStore& operator=(const JobHistoryStore&) = delete;

    // Fails on an id that is already present.
    void insert(const JobRecord& record);
    void update(const JobRecord& record) override;
    std::optional<JobRecord> record(const QString& id) override;
    QList<JobRecord> recent(qint64 limit) override;
    // Records in claimed … completing, in no particular order.
    QList<JobRecord> staleInFlight();
    // Deletes finished records except the `keeping` newest, looking at the
    // 10000 newest finished ones per call. In-flight records are never deleted.
    void pruneHistory(qint64 keeping);

    // "yyyy-MM-dd HH:mm:ss.SSS" in UTC, the stored form of every date-time.
    static QString dateText(const QDateTime& dateTime);
    static std::optional<QDateTime> dateFromText(const QString& text);

    static constexpr qint64 pruneWindow = 10000;

private:
    void migrate();

    std::mutex m_mutex;
    std::unique_ptr<SQLite::Database> m_db;
};
