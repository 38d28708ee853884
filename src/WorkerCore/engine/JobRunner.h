#pragma once

#include "engine/JobInputs.h"
#include "records/JobRecord.h"

#include <QCoroTask>
#include <QDateTime>
#include <QString>
#include <exception>
#include <stop_token>

class APIClient;
class ActiveJobsBroadcaster;
class FFmpegRunner;
class JobHistoryStore;
class LogStore;

// Carries one claimed job from its scratch folder to completion, reporting each
// stage to the history, the server and the active list, in that order.
class JobRunner {
public:
    // The services every runner shares; the application builds one bundle.
    class Dependencies {
    public:
        virtual ~Dependencies() = default;
        virtual const APIClient& api() const = 0;
        virtual FFmpegRunner& ffmpeg() const = 0;
        virtual JobHistoryStore& history() const = 0;
        virtual LogStore& log() const = 0;
        virtual QString scratchRoot() const = 0;
        virtual ActiveJobsBroadcaster& activeJobs() const = 0;
    };

    explicit JobRunner(const Dependencies& deps)
        : m_deps(deps) {}

    // Ends normally once the server has the result; otherwise throws the error
    // that ended the job, after the failure has been logged and reported.
    QCoro::Task<void> run(JobInputs inputs, std::stop_token stop = {});

    // The text sent to the server and stored in the record for a failure.
    static QString failureMessage(const std::exception& error);
    // A job id that is one safe folder name: not empty, ".", "..", no "/" or
    // NUL, at most 255 bytes.
    static bool isSafeJobID(const QString& id);
    // "input." + the file name's extension ("mov" without one).
    static QString sourceFileName(const QString& fileName);

private:
    QCoro::Task<void> advance(QString jobID, JobRecord::State state, int percent,
                              std::stop_token stop);
    QCoro::Task<void> failurePath(const JobInputs& inputs, const QString& jobDirectory,
                                  std::exception_ptr error);
    void markFailed(const QString& jobID, const QString& message);
    void upsertActive(const JobInputs& inputs, JobRecord::State state, int percent,
                      const QDateTime& startedAt);

    const Dependencies& m_deps;
};
