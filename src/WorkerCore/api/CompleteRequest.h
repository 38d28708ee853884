#pragma once

#include <QJsonObject>
#include <QString>

struct CompleteRequest {
    QString outputS3Key;
    qint64 outputFileSize = 0;
    qint64 conversionDurationSeconds = 0;

    QJsonObject toJson() const {
        return QJsonObject{
            {QStringLiteral("output_s3_key"), outputS3Key},
            {QStringLiteral("output_file_size"), outputFileSize},
            {QStringLiteral("conversion_duration_seconds"), conversionDurationSeconds}};
    }
};
