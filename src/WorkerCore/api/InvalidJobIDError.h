#pragma once

#include "async/WorkerError.h"

// A job id that cannot be put into a request path as one segment: empty, "."
// or ".." (URL libraries and servers collapse dot segments, so "/jobs/../fail/"
// would reach another endpoint). Refused before anything is sent.
class InvalidJobIDError : public WorkerError {
public:
    explicit InvalidJobIDError(QString jobID)
        : m_jobID(std::move(jobID)) {}
    const QString& jobID() const { return m_jobID; }
    QString description() const override { return QStringLiteral("invalid job id"); }

private:
    QString m_jobID;
};
