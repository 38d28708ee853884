#include "api/JsonDecoding.h"

#include "api/APIError.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>

namespace {

[[noreturn]] void missing(const QString& key) {
    throw APIError::malformedResponse(
        QStringLiteral("keyNotFound: no value associated with key \"%1\"").arg(key));
}

[[noreturn]] void mistyped(const QString& key, const char* expected) {
    throw APIError::malformedResponse(QStringLiteral("typeMismatch: expected %1 for key \"%2\"")
                                          .arg(QLatin1String(expected), key));
}

} // namespace

QJsonObject JsonDecoding::parseObject(const QByteArray& body) {
    if (body.isEmpty()) {
        throw APIError::malformedResponse(
            QStringLiteral("dataCorrupted: the response body is empty, not JSON"));
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        throw APIError::malformedResponse(
            QStringLiteral("dataCorrupted: the response body is not valid JSON (%1 at offset %2)")
                .arg(error.errorString())
                .arg(error.offset));
    }
    if (!document.isObject()) {
        throw APIError::malformedResponse(
            QStringLiteral("typeMismatch: expected a JSON object as the response body"));
    }
    return document.object();
}

bool JsonDecoding::requiredBool(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        missing(key);
    }
    if (!value.isBool()) {
        mistyped(key, "a boolean");
    }
    return value.toBool();
}

QString JsonDecoding::requiredString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        missing(key);
    }
    if (!value.isString()) {
        mistyped(key, "a string");
    }
    return value.toString();
}

qint64 JsonDecoding::requiredInt64(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        missing(key);
    }
    if (!value.isDouble()) {
        mistyped(key, "a 64-bit integer");
    }
    // Qt keeps integers that fit exactly; a fraction or an overflow is not one.
    const qint64 integer = value.toInteger(std::numeric_limits<qint64>::min());
    const double number = value.toDouble();
    if (std::trunc(number) != number ||
        (integer == std::numeric_limits<qint64>::min() && number != -9223372036854775808.0)) {
        mistyped(key, "a 64-bit integer");
    }
    return integer;
}

std::optional<QString> JsonDecoding::optionalString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    if (!value.isString()) {
        mistyped(key, "a string");
    }
    return value.toString();
}

std::optional<bool> JsonDecoding::optionalBool(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    if (!value.isBool()) {
        mistyped(key, "a boolean");
    }
    return value.toBool();
}
