// One preview job through the worker against the same steps by hand (curl and
// the bare ffmpeg command), in the same run against the same server process.
// Prints `name: value` lines on stdout; everything else goes to stderr.
#include "api/APIClient.h"
#include "api/ClaimedJob.h"
#include "api/UploadResult.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "engine/JobCoordinator.h"
#include "engine/JobRunner.h"
#include "graph/AppDeps.h"
#include "logging/LogStore.h"
#include "media/FFmpegInvocation.h"
#include "media/FFmpegRunner.h"
#include "records/JobHistoryStore.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <cstdio>
#include <stdexcept>

namespace {

const QString kToken = QStringLiteral("bench-token");
const QString kFFmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString kFFprobe = QStringLiteral("/usr/bin/ffprobe");
constexpr int kRounds = 2;

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

double secondsSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// Runs a child to its end; gives its standard output, throws on a launch
// failure or a non-zero exit.
QCoro::Task<QByteArray> runChild(QString program, QStringList arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardInputFile(QProcess::nullDevice());
    bool launchFailed = false;
    QObject::connect(&child, &QProcess::errorOccurred, &child, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            launchFailed = true;
            // No finished() follows a failed launch; end the wait here instead.
            QMetaObject::invokeMethod(
                &child, [&child] { emit child.finished(-1, QProcess::CrashExit); },
                Qt::QueuedConnection);
        }
    });
    child.start(program, arguments);
    co_await qCoro(&child, &QProcess::finished);
    if (launchFailed) {
        fail(QStringLiteral("cannot start %1: %2").arg(program, child.errorString()));
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        fail(QStringLiteral("%1 %2 exited with %3: %4")
                 .arg(program, arguments.value(0))
                 .arg(child.exitCode())
                 .arg(QString::fromUtf8(child.readAllStandardError().trimmed())));
    }
    co_return child.readAllStandardOutput();
}

QCoro::Task<void> generateClip(QString path) {
    const QStringList arguments = {
        "-hide_banner", "-nostdin", "-loglevel", "error",
        "-f",           "lavfi",    "-i",        "testsrc2=size=1920x1080:rate=25",
        "-f",           "lavfi",    "-i",        "sine=frequency=440:sample_rate=48000",
        "-t",           "10",       "-pix_fmt",  "yuv420p",
        "-c:v",         "libx264",  "-c:a",      "aac",
        "-shortest",    "-y",       path};
    co_await runChild(kFFmpeg, arguments);
}

// curl's common options: quiet, failing on HTTP errors with the body shown.
QStringList curlArguments(QStringList rest) {
    QStringList arguments = {"-sS", "--fail-with-body", "-H", "Authorization: Worker " + kToken};
    arguments += rest;
    return arguments;
}

QCoro::Task<QByteArray> curlJSON(QString url, QByteArray json) {
    const QStringList arguments =
        curlArguments({"-X", "POST", "-H", "Content-Type: application/json", "--data-binary",
                       QString::fromUtf8(json), url});
    co_return co_await runChild(QStringLiteral("curl"), arguments);
}

QByteArray claimBody(const QUuid& workerID) {
    return QJsonDocument(
               QJsonObject{{"worker_id", workerID.toString(QUuid::WithoutBraces).toUpper()},
                           {"worker_name", "bench-by-hand"},
                           {"worker_platform", JobCoordinator::workerPlatform()}})
        .toJson(QJsonDocument::Compact);
}

QStringList downloadArguments(const QString& destination, const QString& url) {
    return curlArguments({"-o", destination, url});
}

QStringList curlUploadArguments(const QString& file, qint64 size, const QString& url) {
    return curlArguments(
        {"-F", QStringLiteral("file_size=%1").arg(size), "-F", "file=@" + file, url});
}

QStringList previewArguments(const QString& input, const QString& output) {
    return FFmpegInvocation(FFmpegInvocation::PreviewProxy400p{input, output}).arguments();
}

QByteArray completeBody(const UploadResult& uploaded, qint64 seconds) {
    return QJsonDocument(QJsonObject{{"output_s3_key", uploaded.s3Key},
                                     {"output_file_size", uploaded.fileSize},
                                     {"conversion_duration_seconds", seconds}})
        .toJson(QJsonDocument::Compact);
}

// The same exchanges and the same ffmpeg command the worker runs, done with
// curl and a bare ffmpeg. Gives the seconds from the claim to the completion.
QCoro::Task<double> byHand(QString base, QString workDir) {
    QElapsedTimer timer;
    timer.start();
    const QString claimURL = base + "/api/workers/claim-job/";
    const QByteArray claimResponse = co_await curlJSON(claimURL, claimBody(QUuid::createUuid()));
    const ClaimedJob claimed = ClaimedJob::fromJson(claimResponse);
    const std::optional<JobInputs> inputs = JobCoordinator::jobInputs(claimed);
    if (!inputs || inputs->type != JobRecord::JobType::preview) {
        fail("by-hand claim gave no preview job: " + QString::fromUtf8(claimResponse));
    }
    const QString jobURL = base + "/api/workers/jobs/" + inputs->id + "/";
    const QString input = QDir(workDir).filePath(JobRunner::sourceFileName(inputs->fileName));
    const QString output = QDir(workDir).filePath(QStringLiteral("preview.mp4"));

    const QStringList download = downloadArguments(input, jobURL + "download/");
    co_await runChild(QStringLiteral("curl"), download);

    const QStringList ffmpegArguments = previewArguments(input, output);
    co_await runChild(kFFmpeg, ffmpegArguments);

    const qint64 size = QFileInfo(output).size();
    const QStringList uploadArguments = curlUploadArguments(output, size, jobURL + "upload/");
    const QByteArray uploadResponse = co_await runChild(QStringLiteral("curl"), uploadArguments);
    const UploadResult uploaded = UploadResult::fromJson(uploadResponse);

    const QByteArray complete = completeBody(uploaded, qint64(secondsSince(timer)));
    const QString completeURL = jobURL + "complete/";
    co_await curlJSON(completeURL, complete);
    const double seconds = secondsSince(timer);

    QFile::remove(input);
    QFile::remove(output);
    co_return seconds;
}

// The worker's own path: its client's claim, the claim's mapping, one runner.
QCoro::Task<double> throughWorker(const AppDeps& deps) {
    QElapsedTimer timer;
    timer.start();
    const ClaimedJob claimed = co_await deps.api().claimJob(
        QUuid::createUuid(), QStringLiteral("bench-worker"), JobCoordinator::workerPlatform());
    const std::optional<JobInputs> inputs = JobCoordinator::jobInputs(claimed);
    if (!inputs || inputs->type != JobRecord::JobType::preview) {
        fail(QStringLiteral("worker claim gave no preview job"));
    }
    JobRunner runner(deps);
    co_await runner.run(*inputs);
    co_return secondsSince(timer);
}

// Every job must have ended completed on the server, as its summary says.
void checkSummary(const QString& path, int expected) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail("no server summary at " + path);
    }
    const QJsonObject summary = QJsonDocument::fromJson(file.readAll()).object();
    for (const QJsonValue& job : summary.value("jobs").toArray()) {
        const QJsonObject fields = job.toObject();
        if (fields.value("state").toString() != u"completed") {
            fail(QStringLiteral("server job %1 ended %2: %3")
                     .arg(fields.value("id").toString(), fields.value("state").toString(),
                          fields.value("error_message").toString()));
        }
    }
    const int completed = summary.value("counts").toObject().value("completed").toInt();
    if (completed != expected) {
        fail(QStringLiteral("server completed %1 jobs, expected %2").arg(completed).arg(expected));
    }
}

QCoro::Task<void> runBench() {
    QTemporaryDir temp;
    if (!temp.isValid()) {
        fail("cannot create a temporary folder: " + temp.errorString());
    }
    const QString jobsDir = temp.filePath("jobs");
    const QString outputDir = temp.filePath("uploads");
    const QString handDir = temp.filePath("by-hand");
    for (const QString& dir : {jobsDir, outputDir, handDir}) {
        QDir().mkpath(dir);
    }

    std::fprintf(stderr, "generating the 10 s 1080p clip\n");
    const QString clip = temp.filePath("clip.mp4");
    co_await generateClip(clip);
    // One job per measured run, each claimed from the same queue.
    constexpr int jobs = 2 * kRounds;
    for (int i = 0; i < jobs; ++i) {
        const QString name = QStringLiteral("preview-%1.mp4").arg(i + 1);
        if (!QFile::copy(clip, QDir(jobsDir).filePath(name))) {
            fail("cannot copy the clip to " + name);
        }
    }

    const QString summaryPath = temp.filePath("summary.json");
    QProcess server;
    server.setReadChannel(QProcess::StandardOutput);
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(KW_DEVSERVER),
                 {"--port", "0", "--token", kToken, "--jobs-dir", jobsDir, "--output-dir",
                  outputDir, "--summary", summaryPath});
    while (!server.canReadLine()) {
        if (server.state() == QProcess::NotRunning) {
            fail("kestrel-devserver did not start: " + server.errorString());
        }
        co_await qCoro(&server, &QProcess::readyReadStandardOutput, std::chrono::seconds(10));
    }
    const QByteArray first = server.readLine().trimmed();
    const QByteArray prefix = "listening on ";
    if (!first.startsWith(prefix)) {
        fail("kestrel-devserver said: " + QString::fromUtf8(first));
    }
    const QString base = QString::fromUtf8(first.mid(prefix.size()));
    std::fprintf(stderr, "server at %s\n", qPrintable(base));

    QNetworkAccessManager session;
    APIClient api(QUrl(base), kToken, &session);
    FFmpegRunner ffmpeg(kFFmpeg, kFFprobe);
    JobHistoryStore history(temp.filePath("history.sqlite"));
    LogStore log(temp.filePath("logs"), 1000, 14);
    ActiveJobsBroadcaster activeJobs;
    const QString scratch = temp.filePath("scratch");
    QDir().mkpath(scratch);
    AppDeps deps(api, ffmpeg, history, log, scratch, activeJobs);

    double worker = 1e9;
    double hand = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double w = co_await throughWorker(deps);
        const double h = co_await byHand(base, handDir);
        std::fprintf(stderr, "round %d: worker %.3f s, by hand %.3f s\n", round + 1, w, h);
        worker = std::min(worker, w);
        hand = std::min(hand, h);
    }

    server.terminate();
    if (server.state() != QProcess::NotRunning) {
        co_await qCoro(&server, &QProcess::finished, std::chrono::seconds(10));
    }
    if (server.state() != QProcess::NotRunning) {
        server.kill();
        fail(QStringLiteral("kestrel-devserver did not stop"));
    }
    checkSummary(summaryPath, jobs);

    std::printf("job.preview.worker_seconds: %.3f\n", worker);
    std::printf("job.preview.by_hand_seconds: %.3f\n", hand);
    std::printf("job.preview.overhead_ratio: %.3f\n", worker / hand);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto run = []() -> QCoro::Task<void> {
        int status = 0;
        try {
            co_await runBench();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "job bench failed: %s\n", error.what());
            status = 1;
        } catch (...) {
            std::fprintf(stderr, "job bench failed\n");
            status = 1;
        }
        QCoreApplication::exit(status);
    };
    QTimer::singleShot(0, &app, [&] { run(); });
    return app.exec();
}
