#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// Strict readers for response bodies. Each throws APIError::malformedResponse
// whose text names the key at fault.
namespace JsonDecoding {

QJsonObject parseObject(const QByteArray& body);
bool requiredBool(const QJsonObject& object, const QString& key);
QString requiredString(const QJsonObject& object, const QString& key);
qint64 requiredInt64(const QJsonObject& object, const QString& key);
// Absent and null give none; any other type is an error.
std::optional<QString> optionalString(const QJsonObject& object, const QString& key);
std::optional<bool> optionalBool(const QJsonObject& object, const QString& key);

} // namespace JsonDecoding
