#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One row of the job history; its two enumerations are shared by the engine,
// the wire protocol and the interface.
struct JobRecord {
    // Declaration order is the order of stages; comparisons rely on it.
    enum class State { claimed, downloading, encoding, uploading, completing, completed, failed };
    enum class JobType { prores, thumbnail, preview };

    QString id;
    JobType jobType = JobType::prores;
    QString fileName;
    State state = State::claimed;
    QDateTime startedAt;
    std::optional<QDateTime> endedAt;
    std::optional<qint64> durationSeconds;
    std::optional<qint64> outputSizeBytes;
    std::optional<QString> outputS3Key;
    std::optional<QString> errorMessage;

    bool operator==(const JobRecord&) const = default;

    static QString toString(State state);
    static QString toString(JobType type);
    // Exactly the raw texts; anything else gives none.
    static std::optional<State> stateFromString(const QString& text);
    static std::optional<JobType> jobTypeFromString(const QString& text);
    static bool isInFlight(State state) { return state < State::completed; }
};
