#pragma once

#include "records/JobRecord.h"

#include <QList>
#include <optional>

// What the History tab needs of the job history. Calls are synchronous and
// throw `HistoryError`.
class HistoryReading {
public:
    virtual ~HistoryReading() = default;

    // Newest first by start time, at most `limit` records.
    virtual QList<JobRecord> recent(qint64 limit) = 0;
    virtual std::optional<JobRecord> record(const QString& id) = 0;
    // Rewrites every column of the row with the record's id; throws a
    // `recordNotFound` error when there is none.
    virtual void update(const JobRecord& record) = 0;
};
