#pragma once

#include <QJsonObject>
#include <QString>

struct ProgressRequest {
    int progress = 0;
    QString status;

    QJsonObject toJson() const {
        return QJsonObject{{QStringLiteral("progress"), progress},
                           {QStringLiteral("status"), status}};
    }
};
