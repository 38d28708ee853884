#pragma once

#include "async/WorkerError.h"

// A child process that could not be started, with the platform's own text
// (QProcess::errorString()).
class ProcessLaunchError : public WorkerError {
public:
    ProcessLaunchError(QString program, QString platformText)
        : m_program(std::move(program))
        , m_platformText(std::move(platformText)) {}

    const QString& program() const { return m_program; }
    const QString& platformText() const { return m_platformText; }

    QString description() const override {
        return QStringLiteral("Could not start %1: %2").arg(m_program, m_platformText);
    }

private:
    QString m_program;
    QString m_platformText;
};
