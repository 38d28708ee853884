#pragma once

#include "async/WorkerError.h"

// A file-system failure, carrying the platform's own text.
class FileSystemError : public WorkerError {
public:
    FileSystemError(QString operation, QString path, QString platformText)
        : m_operation(std::move(operation))
        , m_path(std::move(path))
        , m_platformText(std::move(platformText)) {}

    const QString& operation() const { return m_operation; }
    const QString& path() const { return m_path; }
    const QString& platformText() const { return m_platformText; }

    QString description() const override {
        return QStringLiteral("%1 %2: %3").arg(m_operation, m_path, m_platformText);
    }

private:
    QString m_operation;
    QString m_path;
    QString m_platformText;
};
