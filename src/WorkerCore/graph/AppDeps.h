#pragma once

#include "engine/JobRunner.h"

// The one bundle of shared engine services, as the start-up graph builds it.
// Holds references: the graph owns every service for the life of the process.
class AppDeps : public JobRunner::Dependencies {
public:
    AppDeps(const APIClient& api, FFmpegRunner& ffmpeg, JobHistoryStore& history, LogStore& log,
            QString scratchRoot, ActiveJobsBroadcaster& activeJobs)
        : m_api(api)
        , m_ffmpeg(ffmpeg)
        , m_history(history)
        , m_log(log)
        , m_scratchRoot(std::move(scratchRoot))
        , m_activeJobs(activeJobs) {}

    const APIClient& api() const override { return m_api; }
    FFmpegRunner& ffmpeg() const override { return m_ffmpeg; }
    JobHistoryStore& history() const override { return m_history; }
    LogStore& log() const override { return m_log; }
    QString scratchRoot() const override { return m_scratchRoot; }
    ActiveJobsBroadcaster& activeJobs() const override { return m_activeJobs; }

private:
    const APIClient& m_api;
    FFmpegRunner& m_ffmpeg;
    JobHistoryStore& m_history;
    LogStore& m_log;
    QString m_scratchRoot;
    ActiveJobsBroadcaster& m_activeJobs;
};
