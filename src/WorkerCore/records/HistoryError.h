#pragma once

#include "async/WorkerError.h"

#include <QString>

// A failure of the job history. `databaseText` is the database layer's own
// message (or, for a row that cannot be read, what is wrong with it).
class HistoryError : public WorkerError {
public:
    enum class Kind {
        database,       // SQLite refused: open, migration, constraint, I/O
        recordNotFound, // an update named an id that has no row
        invalidRow,     // a stored value is not one this system writes
        invalidRecord,  // a record or argument that cannot be stored
    };

    HistoryError(Kind kind, QString context, QString databaseText, int sqliteCode = 0)
        : m_kind(kind)
        , m_context(std::move(context))
        , m_databaseText(std::move(databaseText))
        , m_sqliteCode(sqliteCode) {}

    Kind kind() const { return m_kind; }
    const QString& context() const { return m_context; }
    const QString& databaseText() const { return m_databaseText; }
    // SQLite's extended result code for `database` failures, else 0.
    int sqliteCode() const { return m_sqliteCode; }

    QString description() const override {
        return QStringLiteral("%1: %2").arg(m_context, m_databaseText);
    }

private:
    Kind m_kind;
    QString m_context;
    QString m_databaseText;
    int m_sqliteCode;
};
