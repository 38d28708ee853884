#include "api/ClaimedJob.h"

#include "api/JsonDecoding.h"

ClaimedJob ClaimedJob::fromJson(const QByteArray& body) {
    const QJsonObject object = JsonDecoding::parseObject(body);
    ClaimedJob job;
    job.claimed = JsonDecoding::requiredBool(object, QStringLiteral("claimed"));
    job.jobID = JsonDecoding::optionalString(object, QStringLiteral("job_id"));
    job.jobType = JsonDecoding::optionalString(object, QStringLiteral("job_type"));
    job.fileName = JsonDecoding::optionalString(object, QStringLiteral("file_name"));
    job.preserveAudio = JsonDecoding::optionalBool(object, QStringLiteral("preserve_audio"));
    return job;
}
