#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The server's bookkeeping for one job: what it is, who holds it and how it ended.
struct DevJob {
    enum class State { queued, claimed, inProgress, completed, failed };

    struct ProgressReport {
        int progress = 0;
        QString status;
        QDateTime receivedAt;
    };

    QString id;
    QString jobType;
    QString sourcePath;
    QString fileName;
    bool preserveAudio = false;

    State state = State::queued;
    QString workerId;
    QString workerName;
    QString workerPlatform;
    std::optional<QDateTime> claimedAt;
    std::optional<QDateTime> finishedAt;
    QList<ProgressReport> progressReports;
    int downloads = 0;

    // Set by the upload; the completion must quote them back.
    std::optional<QString> s3Key;
    std::optional<QString> outputPath;
    std::optional<qint64> outputSize;

    std::optional<qint64> conversionDurationSeconds;
    std::optional<QString> errorMessage;

    bool isFinished() const { return state == State::completed || state == State::failed; }
    bool isHeld() const { return state == State::claimed || state == State::inProgress; }
    QJsonObject toJson() const;

    static QString toString(State state);
};
