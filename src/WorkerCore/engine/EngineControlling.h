#pragma once

#include "engine/ActiveJob.h"
#include "engine/EngineStatus.h"

#include <QCoroTask>
#include <QList>
#include <QMetaObject>
#include <functional>

class QObject;
struct Settings;

// The interface's only handle on the engine.
class EngineControlling {
public:
    virtual ~EngineControlling() = default;

    virtual EngineStatus status() const = 0;
    virtual void start() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    virtual void cancelJob(const QString& jobID) = 0;
    // Both deliver the current value at once, then every publication, until
    // `context` goes away.
    virtual QMetaObject::Connection
    statusUpdates(QObject* context, std::function<void(const EngineStatus&)> receiver) = 0;
    virtual QMetaObject::Connection
    activeJobUpdates(QObject* context, std::function<void(const QList<ActiveJob>&)> receiver) = 0;
    virtual void applySettings(const Settings& settings) = 0;
    virtual QCoro::Task<void> recoverStaleJobs() = 0;
};
