#include "media/FFmpegRunner.h"

#include "async/AwaitProcess.h"
#include "async/CancelledError.h"
#include "async/ProcessLaunchError.h"
#include "logging/RingBuffer.h"
#include "media/FFmpegProgressParser.h"

#include <QCoroSignal>
#include <QLocale>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>

namespace {

// A tool run must not outlive the worker: if the worker dies (even by
// SIGKILL), the kernel kills the child too instead of leaving it encoding.
void endWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Swift-style quoting: the tail stays on one line in logs.
QString quoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += ch;
        }
    }
    out += u'"';
    return out;
}

// Text that is not valid UTF-8 (including a character cut at the end) gives none.
std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

// Lines of one stderr chunk: split at line feeds, empty pieces dropped. A bare
// carriage return (ffmpeg's status-line separator) does not split, but CRLF
// ends a line like LF does.
QList<QString> chunkLines(const QString& text) {
    QList<QString> pieces = text.split(u'\n');
    QList<QString> lines;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QString& piece = pieces[i];
        const bool endedByLineFeed = i + 1 < pieces.size();
        if (endedByLineFeed && piece.endsWith(u'\r')) {
            piece.chop(1);
        }
        if (!piece.isEmpty()) {
            lines.append(std::move(piece));
        }
    }
    return lines;
}

} // namespace

QString FFmpegRunner::ExecutionFailure::description() const {
    const QString signal = m_terminatingSignal
                               ? QStringLiteral(", killed by signal %1").arg(*m_terminatingSignal)
                               : QString();
    return QStringLiteral("ExecutionFailure(exitCode: %1%2, stderrTail: %3)")
        .arg(QString::number(m_exitCode), signal, quoted(m_stderrTail));
}

FFmpegRunner::FFmpegRunner(QString ffmpegPath, QString ffprobePath, QObject* parent)
    : QObject(parent)
    , m_ffmpegPath(std::move(ffmpegPath))
    , m_ffprobePath(std::move(ffprobePath)) {}

QCoro::Task<std::optional<double>> FFmpegRunner::probeDuration(QString sourcePath,
                                                               std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    QProcess process;
    process.setProgram(m_ffprobePath);
    process.setArguments(FFmpegInvocation::probeArguments(sourcePath));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    endWithParent(process);
    process.start();
    co_await awaitProcessStarted(process);
    // The exit status does not matter: no number just means no duration.
    co_await awaitProcessFinished(process, stop, killDelay);
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    const std::optional<QString> text = decodeUtf8(process.readAllStandardOutput());
    if (!text) {
        co_return std::nullopt;
    }
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double seconds = c.toDouble(text->trimmed(), &ok);
    if (!ok || !std::isfinite(seconds)) {
        co_return std::nullopt;
    }
    co_return seconds;
}

QCoro::Task<void> FFmpegRunner::run(FFmpegInvocation invocation,
                                    std::optional<double> sourceDurationSeconds,
                                    std::function<void(double)> progress, std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    QString proresEncoder = FFmpegInvocation::hardwareProresEncoder();
    if (invocation.usesProresEncoder()) {
        proresEncoder = FFmpegInvocation::proresEncoderFor(co_await availableEncoders(stop));
    }

    QProcess process;
    process.setProgram(m_ffmpegPath);
    process.setArguments(invocation.arguments(proresEncoder));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());

    RingBuffer<QString> tail(tailCapacity);
    const auto reading = connect(&process, &QProcess::readyReadStandardError, &process, [&] {
        const QByteArray chunk = process.readAllStandardError();
        if (chunk.isEmpty()) {
            return;
        }
        const std::optional<QString> text = decodeUtf8(chunk);
        if (!text) {
            return;
        }
        for (QString& line : chunkLines(*text)) {
            const std::optional<double> seconds = FFmpegProgressParser::parseSeconds(line);
            tail.append(std::move(line));
            if (!seconds) {
                continue;
            }
            const double fraction = sourceDurationSeconds && *sourceDurationSeconds > 0
                                        ? std::min(*seconds / *sourceDurationSeconds, 1.0)
                                        : 0.0;
            if (progress) {
                progress(fraction);
            }
        }
    });

    endWithParent(process);
    process.start();
    co_await awaitProcessStarted(process);
    const ProcessOutcome outcome = co_await awaitProcessFinished(process, stop, killDelay);
    disconnect(reading);

    if (stop.stop_requested()) {
        throw CancelledError();
    }
    if (outcome.succeeded()) {
        co_return;
    }
    throw ExecutionFailure(outcome.exitCode, tail.orderedElements().join(u'\n'),
                           outcome.terminatingSignal);
}

QCoro::Task<QSet<QString>> FFmpegRunner::availableEncoders(std::stop_token stop) {
    while (!m_availableEncoders) {
        if (m_encoderDetectionRunning) {
            co_await qCoro(this, &FFmpegRunner::encoderDetectionEnded);
            if (stop.stop_requested()) {
                throw CancelledError();
            }
            continue;
        }
        m_encoderDetectionRunning = true;
        std::optional<QSet<QString>> found;
        std::exception_ptr error;
        try {
            found = co_await detectEncoders(stop);
        } catch (...) {
            error = std::current_exception();
        }
        // A cancelled detection leaves nothing cached; a waiter then starts anew.
        m_availableEncoders = found;
        m_encoderDetectionRunning = false;
        Q_EMIT encoderDetectionEnded();
        if (error) {
            std::rethrow_exception(error);
        }
    }
    // A copy: QCoro 0.8's co_return moves from a non-const lvalue.
    co_return QSet<QString>(*m_availableEncoders);
}

QCoro::Task<QSet<QString>> FFmpegRunner::detectEncoders(std::stop_token stop) {
    QProcess process;
    process.setProgram(m_ffmpegPath);
    process.setArguments({QStringLiteral("-hide_banner"), QStringLiteral("-encoders")});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    endWithParent(process);
    process.start();
    try {
        co_await awaitProcessStarted(process);
    } catch (const ProcessLaunchError&) {
        // Not fatal here: the run's own launch reports the same error.
        co_return QSet<QString>();
    }
    co_await awaitProcessFinished(process, stop, killDelay);
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    const std::optional<QString> text = decodeUtf8(process.readAllStandardOutput());
    co_return text ? parseEncoderList(*text) : QSet<QString>();
}

QSet<QString> FFmpegRunner::parseEncoderList(QStringView text) {
    // After the " ------" rule each line is "<6 flag chars> <name> <description>".
    QSet<QString> names;
    bool inList = false;
    for (QStringView line : text.split(u'\n')) {
        line = line.trimmed();
        if (!inList) {
            inList = line.startsWith(QStringLiteral("------"));
            continue;
        }
        const QList<QStringView> fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() >= 2 && fields[0].size() == 6 &&
            QStringLiteral("VAS").contains(fields[0].front())) {
            names.insert(fields[1].toString());
        }
    }
    return names;
}
