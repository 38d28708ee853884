#pragma once

#include "api/ClaimedJob.h"
#include "config/Settings.h"
#include "engine/EngineControlling.h"
#include "engine/JobInputs.h"
#include "engine/JobRunner.h"

#include <QHash>
#include <QObject>
#include <optional>
#include <stop_token>

// The scheduler: a poll loop that claims jobs while slots are free, one task
// per claimed job, and the controls and status the interface sees.
class JobCoordinator : public QObject, public EngineControlling {
    Q_OBJECT

public:
    // What a job task runs; a fresh JobRunner by default. Tests replace it to
    // control a job's timing.
    using JobExecutor = std::function<QCoro::Task<void>(JobInputs, std::stop_token)>;

    using Status = EngineStatus;

    static constexpr std::chrono::milliseconds recheckInterval{250};

    JobCoordinator(const JobRunner::Dependencies& deps, Settings settings,
                   QObject* parent = nullptr, JobExecutor executor = {});
    ~JobCoordinator() override;

    EngineStatus status() const override;
    void start() override;
    void pause() override;
    void resume() override;
    void stop() override;
    void cancelJob(const QString& jobID) override;
    QMetaObject::Connection
    statusUpdates(QObject* context, std::function<void(const EngineStatus&)> receiver) override;
    QMetaObject::Connection
    activeJobUpdates(QObject* context,
                     std::function<void(const QList<ActiveJob>&)> receiver) override;
    void applySettings(const Settings& settings) override;
    QCoro::Task<void> recoverStaleJobs() override;

    int activeRunners() const { return m_activeRunners; }
    bool isPolling() const { return m_pollStop.has_value(); }

    // A claim response as a job, or none when it does not describe a whole one.
    static std::optional<JobInputs> jobInputs(const ClaimedJob& claimed);
    // "Linux " + the operating system's version text.
    static QString workerPlatform();

Q_SIGNALS:
    void statusChanged(const EngineStatus& status);
    // The poll loop has ended after a stop; for orderly shutdown and tests.
    void pollLoopEnded();
    // A claim succeeded and the server had nothing (drain mode watches this).
    void claimAnsweredNoJob();

private:
    QCoro::Task<void> pollLoop(std::stop_token stop);
    QCoro::Task<void> claimOnce(std::stop_token stop, const QString& platform);
    QCoro::Task<void> jobTask(JobInputs inputs, std::stop_source source);
    void handleClaimError(const QString& description);
    void publish();

    const JobRunner::Dependencies& m_deps;
    Settings m_settings;
    JobExecutor m_executor;
    std::optional<std::stop_source> m_pollStop;
    int m_activeRunners = 0;
    bool m_paused = false;
    QHash<QString, std::stop_source> m_runningTasks;
    std::optional<QString> m_pollError;
    bool m_claimFailing = false;
};
