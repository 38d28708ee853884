#pragma once

#include <QJsonObject>
#include <QString>

struct FailRequest {
    QString errorMessage;

    QJsonObject toJson() const {
        return QJsonObject{{QStringLiteral("error_message"), errorMessage}};
    }
};
