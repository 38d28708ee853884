#include "records/JobHistoryStore.h"

#include "records/HistoryError.h"

#include <QLocale>
#include <QTimeZone>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

constexpr const char* kColumns =
    R"("id", "jobType", "fileName", "state", "startedAt", "endedAt", "durationSeconds", )"
    R"("outputSizeBytes", "outputS3Key", "errorMessage")";

struct Migration {
    const char* identifier;
    std::function<void(SQLite::Database&)> apply;
};

// Registration order is the order they run in; an identifier, once recorded,
// is never run again.
const std::vector<Migration>& migrations() {
    static const std::vector<Migration> list{
        {"createJobsTable",
         [](SQLite::Database& db) {
             db.exec(R"(CREATE TABLE "jobs" ()"
                     R"("id" TEXT PRIMARY KEY, )"
                     R"("jobType" TEXT NOT NULL, )"
                     R"("fileName" TEXT NOT NULL, )"
                     R"("state" TEXT NOT NULL, )"
                     R"("startedAt" DATETIME NOT NULL, )"
                     R"("endedAt" DATETIME, )"
                     R"("durationSeconds" INTEGER, )"
                     R"("outputSizeBytes" INTEGER, )"
                     R"("outputS3Key" TEXT, )"
                     R"("errorMessage" TEXT))");
             db.exec(R"(CREATE INDEX "idx_jobs_startedAt" ON "jobs"("startedAt"))");
             db.exec(R"(CREATE INDEX "idx_jobs_state" ON "jobs"("state"))");
         }},
    };
    return list;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString fromUtf8(const SQLite::Column& column) {
    return QString::fromUtf8(column.getText(), column.getBytes());
}

HistoryError databaseError(const QString& context, const SQLite::Exception& error) {
    return HistoryError(HistoryError::Kind::database, context, QString::fromUtf8(error.what()),
                        error.getExtendedErrorCode());
}

QString requireDateText(const QDateTime& dateTime, const char* field, const QString& id) {
    if (!dateTime.isValid()) {
        throw HistoryError(HistoryError::Kind::invalidRecord,
                           QStringLiteral("Cannot store job history record \"%1\"").arg(id),
                           QStringLiteral("%1 is not a valid date-time").arg(QLatin1String(field)));
    }
    return JobHistoryStore::dateText(dateTime);
}

// Binds the ten columns in table order to ?1 … ?10.
void bindRecord(SQLite::Statement& statement, const JobRecord& record) {
    statement.bind(1, utf8(record.id));
    statement.bind(2, utf8(JobRecord::toString(record.jobType)));
    statement.bind(3, utf8(record.fileName));
    statement.bind(4, utf8(JobRecord::toString(record.state)));
    statement.bind(5, utf8(requireDateText(record.startedAt, "startedAt", record.id)));
    if (record.endedAt) {
        statement.bind(6, utf8(requireDateText(*record.endedAt, "endedAt", record.id)));
    } else {
        statement.bind(6);
    }
    if (record.durationSeconds) {
        statement.bind(7, static_cast<int64_t>(*record.durationSeconds));
    } else {
        statement.bind(7);
    }
    if (record.outputSizeBytes) {
        statement.bind(8, static_cast<int64_t>(*record.outputSizeBytes));
    } else {
        statement.bind(8);
    }
    if (record.outputS3Key) {
        statement.bind(9, utf8(*record.outputS3Key));
    } else {
        statement.bind(9);
    }
    if (record.errorMessage) {
        statement.bind(10, utf8(*record.errorMessage));
    } else {
        statement.bind(10);
    }
}

HistoryError invalidRow(const QString& id, const char* column, const QString& value) {
    return HistoryError(HistoryError::Kind::invalidRow,
                        QStringLiteral("Cannot read job history record \"%1\"").arg(id),
                        QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(column), value));
}

QDateTime readDate(const SQLite::Column& column, const QString& id, const char* name) {
    const QString text = fromUtf8(column);
    const auto date = JobHistoryStore::dateFromText(text);
    if (!date) {
        throw invalidRow(id, name, text);
    }
    return *date;
}

// Reads a row selected with kColumns, in that order.
JobRecord readRecord(SQLite::Statement& statement) {
    JobRecord record;
    record.id = fromUtf8(statement.getColumn(0));
    const QString typeText = fromUtf8(statement.getColumn(1));
    const auto type = JobRecord::jobTypeFromString(typeText);
    if (!type) {
        throw invalidRow(record.id, "jobType", typeText);
    }
    record.jobType = *type;
    record.fileName = fromUtf8(statement.getColumn(2));
    const QString stateText = fromUtf8(statement.getColumn(3));
    const auto state = JobRecord::stateFromString(stateText);
    if (!state) {
        throw invalidRow(record.id, "state", stateText);
    }
    record.state = *state;
    record.startedAt = readDate(statement.getColumn(4), record.id, "startedAt");
    if (!statement.getColumn(5).isNull()) {
        record.endedAt = readDate(statement.getColumn(5), record.id, "endedAt");
    }
    if (!statement.getColumn(6).isNull()) {
        record.durationSeconds = statement.getColumn(6).getInt64();
    }
    if (!statement.getColumn(7).isNull()) {
        record.outputSizeBytes = statement.getColumn(7).getInt64();
    }
    if (!statement.getColumn(8).isNull()) {
        record.outputS3Key = fromUtf8(statement.getColumn(8));
    }
    if (!statement.getColumn(9).isNull()) {
        record.errorMessage = fromUtf8(statement.getColumn(9));
    }
    return record;
}

QList<JobRecord> readAll(SQLite::Statement& statement) {
    QList<JobRecord> records;
    while (statement.executeStep()) {
        records.append(readRecord(statement));
    }
    return records;
}

std::string selectFrom(const char* tail) {
    return std::string("SELECT ") + kColumns + R"( FROM "jobs" )" + tail;
}

} // namespace

JobHistoryStore::JobHistoryStore(const QString& databasePath) {
    try {
        m_db = std::make_unique<SQLite::Database>(utf8(databasePath),
                                                  SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        m_db->exec("PRAGMA foreign_keys=ON");
        migrate();
    } catch (const SQLite::Exception& error) {
        throw databaseError(
            QStringLiteral("Cannot open the job history database %1").arg(databasePath), error);
    }
}

JobHistoryStore::~JobHistoryStore() = default;

void JobHistoryStore::migrate() {
    // The first statement that reads the file: a file that is not a database fails here.
    m_db->exec(R"(CREATE TABLE IF NOT EXISTS "schema_migrations" ()"
               R"("identifier" TEXT NOT NULL PRIMARY KEY))");
    std::vector<std::string> applied;
    SQLite::Statement query(*m_db, R"(SELECT "identifier" FROM "schema_migrations")");
    while (query.executeStep()) {
        applied.emplace_back(query.getColumn(0).getString());
    }
    for (const Migration& migration : migrations()) {
        if (std::find(applied.begin(), applied.end(), migration.identifier) != applied.end()) {
            continue;
        }
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        migration.apply(*m_db);
        SQLite::Statement record(*m_db,
                                 R"(INSERT INTO "schema_migrations" ("identifier") VALUES (?1))");
        record.bind(1, migration.identifier);
        record.exec();
        transaction.commit();
    }
}

void JobHistoryStore::insert(const JobRecord& record) {
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement statement(*m_db,
                                    std::string(R"(INSERT INTO "jobs" ()") + kColumns +
                                        ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        bindRecord(statement, record);
        statement.exec();
        transaction.commit();
    } catch (const SQLite::Exception& error) {
        throw databaseError(
            QStringLiteral("Cannot insert job history record \"%1\"").arg(record.id), error);
    }
}

void JobHistoryStore::update(const JobRecord& record) {
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement statement(
            *m_db, R"(UPDATE "jobs" SET "jobType" = ?2, "fileName" = ?3, "state" = ?4, )"
                   R"("startedAt" = ?5, "endedAt" = ?6, "durationSeconds" = ?7, )"
                   R"("outputSizeBytes" = ?8, "outputS3Key" = ?9, "errorMessage" = ?10 )"
                   R"(WHERE "id" = ?1)");
        bindRecord(statement, record);
        if (statement.exec() == 0) {
            // The transaction rolls back as it goes out of scope; nothing changed anyway.
            throw HistoryError(
                HistoryError::Kind::recordNotFound,
                QStringLiteral("Cannot update job history record \"%1\"").arg(record.id),
                QStringLiteral("no such record"));
        }
        transaction.commit();
    } catch (const SQLite::Exception& error) {
        throw databaseError(
            QStringLiteral("Cannot update job history record \"%1\"").arg(record.id), error);
    }
}

std::optional<JobRecord> JobHistoryStore::record(const QString& id) {
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Statement statement(*m_db, selectFrom(R"(WHERE "id" = ?1)"));
        statement.bind(1, utf8(id));
        if (!statement.executeStep()) {
            return std::nullopt;
        }
        return readRecord(statement);
    } catch (const SQLite::Exception& error) {
        throw databaseError(QStringLiteral("Cannot read job history record \"%1\"").arg(id), error);
    }
}

QList<JobRecord> JobHistoryStore::recent(qint64 limit) {
    // SQLite reads a negative limit as "no limit"; here it means nothing at all.
    if (limit <= 0) {
        return {};
    }
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Statement statement(*m_db, selectFrom(R"(ORDER BY "startedAt" DESC LIMIT ?1)"));
        statement.bind(1, static_cast<int64_t>(limit));
        return readAll(statement);
    } catch (const SQLite::Exception& error) {
        throw databaseError(QStringLiteral("Cannot read the job history"), error);
    }
}

QList<JobRecord> JobHistoryStore::staleInFlight() {
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Statement statement(*m_db, selectFrom(R"(WHERE "state" IN (?1, ?2, ?3, ?4, ?5))"));
        int index = 1;
        for (const auto state :
             {JobRecord::State::claimed, JobRecord::State::downloading, JobRecord::State::encoding,
              JobRecord::State::uploading, JobRecord::State::completing}) {
            statement.bind(index++, utf8(JobRecord::toString(state)));
        }
        return readAll(statement);
    } catch (const SQLite::Exception& error) {
        throw databaseError(QStringLiteral("Cannot read the job history"), error);
    }
}

void JobHistoryStore::pruneHistory(qint64 keeping) {
    // A negative count would otherwise delete every finished job.
    if (keeping < 0) {
        throw HistoryError(
            HistoryError::Kind::invalidRecord, QStringLiteral("Cannot prune the job history"),
            QStringLiteral("the number of records to keep is negative (%1)").arg(keeping));
    }
    const std::lock_guard lock(m_mutex);
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement finished(*m_db, R"(SELECT "id" FROM "jobs" WHERE "state" IN (?1, ?2) )"
                                          R"(ORDER BY "startedAt" DESC LIMIT ?3)");
        finished.bind(1, utf8(JobRecord::toString(JobRecord::State::completed)));
        finished.bind(2, utf8(JobRecord::toString(JobRecord::State::failed)));
        finished.bind(3, static_cast<int64_t>(pruneWindow));
        std::vector<std::string> ids;
        while (finished.executeStep()) {
            ids.emplace_back(finished.getColumn(0).getString());
        }
        if (static_cast<qint64>(ids.size()) > keeping) {
            SQLite::Statement remove(*m_db, R"(DELETE FROM "jobs" WHERE "id" = ?1)");
            for (auto it = ids.begin() + keeping; it != ids.end(); ++it) {
                remove.bind(1, *it);
                remove.exec();
                remove.reset();
            }
        }
        transaction.commit();
    } catch (const SQLite::Exception& error) {
        throw databaseError(QStringLiteral("Cannot prune the job history"), error);
    }
}

QString JobHistoryStore::dateText(const QDateTime& dateTime) {
    return QLocale::c().toString(dateTime.toUTC(), kDateFormat);
}

std::optional<QDateTime> JobHistoryStore::dateFromText(const QString& text) {
    // Parse date and time apart and pin them to UTC, so the local zone (and
    // its daylight-saving gaps) never takes part.
    if (text.size() != 23 || text.at(10) != QLatin1Char(' ')) {
        return std::nullopt;
    }
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss.zzz"));
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}
