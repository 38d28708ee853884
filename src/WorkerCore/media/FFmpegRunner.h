#pragma once

#include "async/WorkerError.h"
#include "media/FFmpegInvocation.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

// Runs ffprobe and ffmpeg as child processes: duration probes, and ffmpeg runs
// with progress, an error tail and cancellation. Several runs may go on at once,
// each with its own process and tail. Everything happens on the main thread's
// event loop (QProcess signals), so per-run state needs no locks.
class FFmpegRunner : public QObject {
    Q_OBJECT

public:
    // ffmpeg ended with a non-zero status (or was ended by a signal).
    class ExecutionFailure : public WorkerError {
    public:
        ExecutionFailure(int exitCode, QString stderrTail,
                         std::optional<int> terminatingSignal = std::nullopt)
            : m_exitCode(exitCode)
            , m_stderrTail(std::move(stderrTail))
            , m_terminatingSignal(terminatingSignal) {}

        // The exit status; 128 + the signal number for a child ended by a signal.
        int exitCode() const { return m_exitCode; }
        // The last (at most 50) stderr lines, oldest first, joined by "\n".
        const QString& stderrTail() const { return m_stderrTail; }
        std::optional<int> terminatingSignal() const { return m_terminatingSignal; }

        // ExecutionFailure(exitCode: 1, stderrTail: "...") with the tail escaped
        // onto one line; a signal adds ", killed by signal N" after the code.
        QString description() const override;

    private:
        int m_exitCode;
        QString m_stderrTail;
        std::optional<int> m_terminatingSignal;
    };

    static constexpr qsizetype tailCapacity = 50;
    static constexpr std::chrono::milliseconds killDelay{2000};

    FFmpegRunner(QString ffmpegPath, QString ffprobePath, QObject* parent = nullptr);

    const QString& ffmpegPath() const { return m_ffmpegPath; }
    const QString& ffprobePath() const { return m_ffprobePath; }

    // The source's container duration in seconds, or none when ffprobe gives no
    // number. Throws ProcessLaunchError only when ffprobe cannot be started
    // (and CancelledError when stopped).
    QCoro::Task<std::optional<double>> probeDuration(QString sourcePath, std::stop_token stop = {});

    // Runs ffmpeg with the invocation's arguments. `progress` gets a fraction in
    // [0, 1] for every time line of ffmpeg's stderr, synchronously while output
    // is read; it must not throw. Throws ProcessLaunchError, ExecutionFailure,
    // or CancelledError once `stop` is requested (whatever the exit status).
    // The invocation is taken by value: the coroutine outlives the caller's expression.
    QCoro::Task<void> run(FFmpegInvocation invocation, std::optional<double> sourceDurationSeconds,
                          std::function<void(double)> progress, std::stop_token stop = {});

    // The encoder names of this ffmpeg, found once per runner and then reused;
    // concurrent first callers share one detection. A detection that fails gives
    // an empty set.
    QCoro::Task<QSet<QString>> availableEncoders(std::stop_token stop = {});

    // Encoder names in the output of `ffmpeg -hide_banner -encoders`.
    static QSet<QString> parseEncoderList(QStringView text);

Q_SIGNALS:
    void encoderDetectionEnded();

private:
    QCoro::Task<QSet<QString>> detectEncoders(std::stop_token stop);

    QString m_ffmpegPath;
    QString m_ffprobePath;
    std::optional<QSet<QString>> m_availableEncoders;
    bool m_encoderDetectionRunning = false;
};
