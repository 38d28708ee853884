#include "api/ClaimRequest.h"

#include "api/UuidText.h"

QJsonObject ClaimRequest::toJson() const {
    return QJsonObject{
        {QStringLiteral("worker_id"), uuidText(workerID)},
        {QStringLiteral("worker_name"), workerName},
        {QStringLiteral("worker_platform"), workerPlatform},
    };
}
