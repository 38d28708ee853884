#include "api/UploadResult.h"

#include "api/JsonDecoding.h"

UploadResult UploadResult::fromJson(const QByteArray& body) {
    const QJsonObject object = JsonDecoding::parseObject(body);
    UploadResult result;
    result.s3Key = JsonDecoding::requiredString(object, QStringLiteral("s3_key"));
    result.fileSize = JsonDecoding::requiredInt64(object, QStringLiteral("file_size"));
    return result;
}
