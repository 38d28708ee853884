#pragma once

#include "engine/EngineControlling.h"

#include <QObject>
#include <QPointer>
#include <utility>
#include <vector>

// An engine frozen in the state a picture needs: a status and a job list that
// never change unless the caller says so. Screenshots only.
class ScriptedEngine : public EngineControlling {
public:
    EngineStatus current = EngineStatus::stopped();
    QList<ActiveJob> jobs;

    EngineStatus status() const override { return current; }
    void start() override {}
    void pause() override {}
    void resume() override {}
    void stop() override {}
    void cancelJob(const QString&) override {}
    QMetaObject::Connection
    statusUpdates(QObject*, std::function<void(const EngineStatus&)> receiver) override {
        receiver(current);
        return {};
    }
    QMetaObject::Connection
    activeJobUpdates(QObject*, std::function<void(const QList<ActiveJob>&)> receiver) override {
        receiver(jobs);
        return {};
    }
    void applySettings(const Settings&) override {}
    QCoro::Task<void> recoverStaleJobs() override { co_return; }
};
