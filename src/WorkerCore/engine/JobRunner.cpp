#include "engine/JobRunner.h"

#include "api/APIClient.h"
#include "api/APIError.h"
#include "api/InvalidJobIDError.h"
#include "async/CancelledError.h"
#include "async/FileSystemError.h"
#include "engine/ActiveJob.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "logging/LogStore.h"
#include "media/FFmpegInvocation.h"
#include "media/FFmpegRunner.h"
#include "records/HistoryError.h"
#include "records/JobHistoryStore.h"

#include <QDir>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>

namespace {

const QString kJobCategory = QStringLiteral("job");

// One encoding report, on its own: the server first, then the list, each only
// while the job is still encoding, so a late report can neither bring a
// finished job back into the list nor reach the server after "uploading".
QCoro::Task<void> reportEncoding(const APIClient* api, ActiveJobsBroadcaster* activeJobs,
                                 JobInputs inputs, QDateTime startedAt, int percent,
                                 std::shared_ptr<bool> encoding, std::stop_token stop) {
    if (!*encoding) {
        co_return;
    }
    try {
        co_await api->reportProgress(inputs.id, percent, QStringLiteral("encoding"), stop);
    } catch (...) {
        // Encoding reports are advisory; a lost one is not a job failure.
    }
    if (!*encoding) {
        co_return;
    }
    activeJobs->upsert(ActiveJob{inputs.id, inputs.fileName, inputs.type,
                                 JobRecord::State::encoding, percent, startedAt});
}

// The log line's description and the message for the server and the record.
std::pair<QString, QString> describeFailure(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return {describeError(e), JobRunner::failureMessage(e)};
    } catch (...) {
        return {QStringLiteral("unknown error"), QStringLiteral("unknown error")};
    }
}

bool isDuplicateRecord(const HistoryError& error) {
    return error.kind() == HistoryError::Kind::database &&
           (error.sqliteCode() == SQLITE_CONSTRAINT_PRIMARYKEY ||
            error.sqliteCode() == SQLITE_CONSTRAINT_UNIQUE);
}

} // namespace

bool JobRunner::isSafeJobID(const QString& id) {
    return !id.isEmpty() && id != QLatin1String(".") && id != QLatin1String("..") &&
           !id.contains(QLatin1Char('/')) && !id.contains(QChar(u'\0')) &&
           id.toUtf8().size() <= 255;
}

QString JobRunner::sourceFileName(const QString& fileName) {
    const QString last = fileName.section(QLatin1Char('/'), -1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? last.mid(dot + 1) : QString();
    return QStringLiteral("input.") + (extension.isEmpty() ? QStringLiteral("mov") : extension);
}

QString JobRunner::failureMessage(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const FFmpegRunner::ExecutionFailure*>(&error)) {
        return QStringLiteral("ffmpeg exited %1: %2")
            .arg(failure->exitCode())
            .arg(failure->stderrTail());
    }
    return describeError(error);
}

void JobRunner::upsertActive(const JobInputs& inputs, JobRecord::State state, int percent,
                             const QDateTime& startedAt) {
    m_deps.activeJobs().upsert(
        ActiveJob{inputs.id, inputs.fileName, inputs.type, state, percent, startedAt});
}

QCoro::Task<void> JobRunner::advance(QString jobID, JobRecord::State state, int percent,
                                     std::stop_token stop) {
    if (std::optional<JobRecord> record = m_deps.history().record(jobID)) {
        record->state = state;
        m_deps.history().update(*record);
    }
    co_await m_deps.api().reportProgress(jobID, percent, JobRecord::toString(state), stop);
}

void JobRunner::markFailed(const QString& jobID, const QString& message) {
    try {
        if (std::optional<JobRecord> record = m_deps.history().record(jobID)) {
            record->state = JobRecord::State::failed;
            record->endedAt = QDateTime::currentDateTimeUtc();
            record->errorMessage = message;
            m_deps.history().update(*record);
        }
    } catch (...) {
        // The server has been told; a local bookkeeping error must not hide that.
    }
}

QCoro::Task<void> JobRunner::failurePath(const JobInputs& inputs, const QString& jobDirectory,
                                         std::exception_ptr error) {
    const auto [description, message] = describeFailure(error);
    m_deps.log().log(LogEvent::Level::error, kJobCategory,
                     QStringLiteral("Job failed: ") + description, inputs.id);
    try {
        // Not tied to the job's own stop token: a cancelled job must still reach
        // the server as failed (bounded by the client's idle limit).
        co_await m_deps.api().failJob(inputs.id, message);
    } catch (...) {
        // The report is best effort; the record below still says failed.
    }
    markFailed(inputs.id, message);
    m_deps.activeJobs().remove(inputs.id);
    if (!jobDirectory.isEmpty()) {
        QDir(jobDirectory).removeRecursively(); // a leftover folder is harmless
    }
}

QCoro::Task<void> JobRunner::run(JobInputs inputs, std::stop_token stop) {
    // Refused before the disk is touched: the id becomes a folder name, and one
    // such as "../.." would put the job (and its clean-up) outside the root.
    if (!isSafeJobID(inputs.id)) {
        m_deps.log().log(LogEvent::Level::error, kJobCategory,
                         QStringLiteral("Job failed: invalid job id"));
        try {
            co_await m_deps.api().failJob(inputs.id, QStringLiteral("invalid job id"));
        } catch (...) {
            // Ids no path can carry ("", ".", "..") cannot be reported at all.
        }
        throw InvalidJobIDError(inputs.id);
    }

    const QDateTime startedAt = QDateTime::currentDateTimeUtc();
    const QString jobDirectory = QDir(m_deps.scratchRoot()).filePath(inputs.id);
    const QString sourcePath = QDir(jobDirectory).filePath(sourceFileName(inputs.fileName));

    // A job that cannot even start is still reported, so the server can hand it
    // to another worker instead of waiting for this one for ever.
    std::exception_ptr startError;
    try {
        if (!QDir().mkpath(jobDirectory)) {
            throw FileSystemError(QStringLiteral("Cannot create folder"), jobDirectory,
                                  QStringLiteral("mkdir failed"));
        }
        m_deps.history().insert(JobRecord{inputs.id, inputs.type, inputs.fileName,
                                          JobRecord::State::claimed, startedAt});
    } catch (const HistoryError& error) {
        if (isDuplicateRecord(error)) {
            // The same job handed out again: its earlier record stands.
            throw;
        }
        startError = std::current_exception();
    } catch (...) {
        startError = std::current_exception();
    }
    if (startError) {
        const auto [description, message] = describeFailure(startError);
        m_deps.log().log(LogEvent::Level::error, kJobCategory,
                         QStringLiteral("Job failed: ") + description, inputs.id);
        try {
            co_await m_deps.api().failJob(inputs.id, message);
        } catch (...) {
            // Best effort, as on the failure path.
        }
        std::rethrow_exception(startError);
    }

    upsertActive(inputs, JobRecord::State::claimed, 0, startedAt);

    std::exception_ptr failure;
    auto encoding = std::make_shared<bool>(false);
    UploadResult uploaded;
    qint64 conversionSeconds = 0;
    try {
        co_await advance(inputs.id, JobRecord::State::downloading, 10, stop);
        upsertActive(inputs, JobRecord::State::downloading, 10, startedAt);

        co_await m_deps.api().downloadSource(inputs.id, sourcePath, stop);

        co_await advance(inputs.id, JobRecord::State::encoding, 30, stop);
        upsertActive(inputs, JobRecord::State::encoding, 30, startedAt);

        QString outputPath;
        FFmpegInvocation::Op op = FFmpegInvocation::PreviewProxy400p{sourcePath, QString()};
        switch (inputs.type) {
        case JobRecord::JobType::prores:
            outputPath = QDir(jobDirectory).filePath(QStringLiteral("output.mov"));
            op = FFmpegInvocation::ProresVideoToolbox{sourcePath, outputPath, inputs.preserveAudio};
            break;
        case JobRecord::JobType::thumbnail:
            outputPath = QDir(jobDirectory).filePath(QStringLiteral("thumbnail.jpg"));
            op = FFmpegInvocation::ThumbnailFrame50{sourcePath, outputPath};
            break;
        case JobRecord::JobType::preview:
            outputPath = QDir(jobDirectory).filePath(QStringLiteral("preview.mp4"));
            op = FFmpegInvocation::PreviewProxy400p{sourcePath, outputPath};
            break;
        }

        std::optional<double> duration;
        try {
            duration = co_await m_deps.ffmpeg().probeDuration(sourcePath, stop);
        } catch (...) {
            // A failed probe only means no duration: progress then stays at 30.
        }

        *encoding = true;
        const APIClient* api = &m_deps.api();
        ActiveJobsBroadcaster* activeJobs = &m_deps.activeJobs();
        auto progress = [api, activeJobs, inputs, startedAt, encoding, stop](double fraction) {
            const int percent = 30 + int(fraction * 35);
            reportEncoding(api, activeJobs, inputs, startedAt, percent, encoding, stop);
        };
        co_await m_deps.ffmpeg().run(FFmpegInvocation(op), duration, progress, stop);
        *encoding = false;

        co_await advance(inputs.id, JobRecord::State::uploading, 70, stop);
        upsertActive(inputs, JobRecord::State::uploading, 70, startedAt);

        uploaded = co_await m_deps.api().uploadOutput(inputs.id, outputPath, stop);

        co_await advance(inputs.id, JobRecord::State::completing, 90, stop);
        upsertActive(inputs, JobRecord::State::completing, 90, startedAt);

        conversionSeconds = startedAt.secsTo(QDateTime::currentDateTimeUtc());
        co_await m_deps.api().completeJob(inputs.id, uploaded.s3Key, uploaded.fileSize,
                                          conversionSeconds, stop);
    } catch (...) {
        failure = std::current_exception();
    }
    *encoding = false;
    if (failure) {
        co_await failurePath(inputs, jobDirectory, failure);
        std::rethrow_exception(failure);
    }

    // The server has accepted the job as complete; a local bookkeeping error
    // from here on is logged, never turned into a failure on the server.
    try {
        if (std::optional<JobRecord> record = m_deps.history().record(inputs.id)) {
            record->state = JobRecord::State::completed;
            record->endedAt = QDateTime::currentDateTimeUtc();
            record->outputS3Key = uploaded.s3Key;
            record->outputSizeBytes = uploaded.fileSize;
            record->durationSeconds = conversionSeconds;
            m_deps.history().update(*record);
        }
    } catch (const std::exception& error) {
        m_deps.log().log(
            LogEvent::Level::error, kJobCategory,
            QStringLiteral("Job completed, but its history record could not be updated: ") +
                describeError(error),
            inputs.id);
    }
    m_deps.activeJobs().remove(inputs.id);
    QDir(jobDirectory).removeRecursively(); // a leftover folder is harmless
}
