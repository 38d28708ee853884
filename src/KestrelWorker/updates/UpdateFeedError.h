#pragma once

#include "async/WorkerError.h"

#include <QString>

// The update feed could not be read as one.
class UpdateFeedError : public WorkerError {
public:
    explicit UpdateFeedError(QString detail)
        : m_detail(std::move(detail)) {}

    const QString& detail() const { return m_detail; }
    QString description() const override {
        return QStringLiteral("The update feed could not be read: %1.").arg(m_detail);
    }

private:
    QString m_detail;
};
