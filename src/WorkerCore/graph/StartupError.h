#pragma once

#include "async/WorkerError.h"

// Start-up could not build the engine; printed as "Failed to start: " + text.
class StartupError : public WorkerError {
public:
    explicit StartupError(QString text)
        : m_text(std::move(text)) {}
    QString description() const override { return m_text; }

private:
    QString m_text;
};
