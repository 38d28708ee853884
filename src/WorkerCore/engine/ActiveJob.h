#pragma once

#include "records/JobRecord.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

// A snapshot of one job in flight, as the Now tab lists it.
struct ActiveJob {
    QString id;
    QString fileName;
    JobRecord::JobType jobType = JobRecord::JobType::prores;
    JobRecord::State state = JobRecord::State::claimed;
    int percent = 0;
    QDateTime startedAt;

    bool operator==(const ActiveJob&) const = default;
};

Q_DECLARE_METATYPE(ActiveJob)
