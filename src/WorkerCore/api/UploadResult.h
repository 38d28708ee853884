#pragma once

#include <QByteArray>
#include <QString>

struct UploadResult {
    QString s3Key;
    qint64 fileSize = 0;

    bool operator==(const UploadResult&) const = default;

    // Throws APIError::malformedResponse naming the missing or mistyped key.
    static UploadResult fromJson(const QByteArray& body);
};
