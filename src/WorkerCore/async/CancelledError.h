#pragma once

#include "async/WorkerError.h"

// The one error a wait ends with when its task's stop token is triggered.
class CancelledError : public WorkerError {
public:
    QString description() const override { return QStringLiteral("Cancelled"); }
};
