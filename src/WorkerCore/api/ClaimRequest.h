#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>

struct ClaimRequest {
    QUuid workerID;
    QString workerName;
    QString workerPlatform;

    QJsonObject toJson() const;
};
