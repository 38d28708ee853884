#pragma once

#include "records/JobRecord.h"

#include <QString>

// One claimed job's facts, as the claim response gave them.
struct JobInputs {
    QString id;
    JobRecord::JobType type = JobRecord::JobType::prores;
    QString fileName;
    bool preserveAudio = false;

    bool operator==(const JobInputs&) const = default;
};
