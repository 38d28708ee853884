#include "DevJob.h"

#include <QJsonArray>

namespace {

QString timestamp(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

template <typename T, typename F> QJsonValue orNull(const std::optional<T>& value, F convert) {
    return value ? QJsonValue(convert(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString DevJob::toString(State state) {
    switch (state) {
    case State::queued:
        return QStringLiteral("queued");
    case State::claimed:
        return QStringLiteral("claimed");
    case State::inProgress:
        return QStringLiteral("in_progress");
    case State::completed:
        return QStringLiteral("completed");
    case State::failed:
        return QStringLiteral("failed");
    }
    return {};
}

QJsonObject DevJob::toJson() const {
    auto text = [](const QString& s) { return s; };
    auto number = [](qint64 n) { return n; };
    QJsonArray reports;
    for (const ProgressReport& report : progressReports) {
        reports.append(QJsonObject{{"progress", report.progress},
                                   {"status", report.status},
                                   {"received_at", timestamp(report.receivedAt)}});
    }
    const ProgressReport* last = progressReports.isEmpty() ? nullptr : &progressReports.last();
    return QJsonObject{
        {"id", id},
        {"type", jobType},
        {"file_name", fileName},
        {"source_path", sourcePath},
        {"preserve_audio", preserveAudio},
        {"state", toString(state)},
        {"worker_id", isHeld() || isFinished() ? QJsonValue(workerId) : QJsonValue()},
        {"worker_name", isHeld() || isFinished() ? QJsonValue(workerName) : QJsonValue()},
        {"worker_platform", isHeld() || isFinished() ? QJsonValue(workerPlatform) : QJsonValue()},
        {"claimed_at", orNull(claimedAt, timestamp)},
        {"finished_at", orNull(finishedAt, timestamp)},
        {"last_status", last ? QJsonValue(last->status) : QJsonValue()},
        {"last_progress", last ? QJsonValue(last->progress) : QJsonValue()},
        {"progress_reports", reports},
        {"downloads", downloads},
        {"s3_key", orNull(s3Key, text)},
        {"output_path", orNull(outputPath, text)},
        {"output_size", orNull(outputSize, number)},
        {"conversion_duration_seconds", orNull(conversionDurationSeconds, number)},
        {"error_message", orNull(errorMessage, text)},
    };
}
