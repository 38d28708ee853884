#include "engine/JobRunner.h"

#include "EngineFixture.h"
#include "api/InvalidJobIDError.h"

#include <QTimer>
#include <SQLiteCpp/SQLiteCpp.h>

QTemporaryDir* EngineFixture::s_media = nullptr;
QByteArray* EngineFixture::s_clip = nullptr;

namespace {

bool isStageOrder(const QList<QPair<QString, int>>& stages) {
    // downloading 10, encoding 30, any encoding 30..65 rising, uploading 70, completing 90
    if (stages.size() < 4 || stages.first() != QPair<QString, int>("downloading", 10) ||
        stages[1] != QPair<QString, int>("encoding", 30)) {
        return false;
    }
    qsizetype i = 2;
    while (i < stages.size() && stages[i].first == "encoding") {
        if (stages[i].second < 30 || stages[i].second > 65) {
            return false;
        }
        ++i;
    }
    return stages.mid(i) == QList<QPair<QString, int>>{{"uploading", 70}, {"completing", 90}};
}

} // namespace

struct JobTypeCase {
    const char* type;
    JobRecord::JobType jobType;
    const char* output;
};

class JobRunnerEndToEnd : public EngineFixture,
                          public ::testing::WithParamInterface<JobTypeCase> {};

TEST_P(JobRunnerEndToEnd, CarriesJobThroughEveryStage) {
    const JobTypeCase& c = GetParam();
    const QString id = QStringLiteral("job-%1").arg(c.type);
    kestrel.enqueue(id, c.type, "clip.mp4");
    JobRunner runner(*deps);
    QList<QList<ActiveJob>> published;
    activeJobs.subscribe(&context, [&](const QList<ActiveJob>& jobs) { published.append(jobs); });

    kwtest::runTask(runner.run(JobInputs{id, c.jobType, "clip.mp4", true}));

    const auto stages = kestrel.progress(id);
    EXPECT_TRUE(isStageOrder(stages)) << [&] {
        QStringList s;
        for (const auto& [status, percent] : stages)
            s << status + " " + QString::number(percent);
        return s.join(", ").toStdString();
    }();
    const auto reports = kestrel.reports(id);
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.first().action, "progress");
    EXPECT_EQ(reports.last().action, "complete");
    const QJsonObject complete = reports.last().body;
    EXPECT_EQ(complete.value("output_s3_key").toString(), "outputs/" + id);
    EXPECT_GT(complete.value("output_file_size").toInteger(), 0);
    EXPECT_EQ(complete.value("output_file_size").toInteger(), kestrel.uploadedBytes(id));
    EXPECT_GE(complete.value("conversion_duration_seconds").toInteger(), 0);

    const std::optional<JobRecord> record = history->record(id);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, JobRecord::State::completed);
    EXPECT_EQ(record->jobType, c.jobType);
    EXPECT_EQ(record->outputS3Key, "outputs/" + id);
    EXPECT_EQ(record->outputSizeBytes, kestrel.uploadedBytes(id));
    EXPECT_EQ(record->durationSeconds, complete.value("conversion_duration_seconds").toInteger());
    EXPECT_TRUE(record->endedAt);
    EXPECT_FALSE(QDir(scratchRoot() + "/" + id).exists());
    EXPECT_TRUE(activeJobs.snapshot().isEmpty());
    // The list went claimed 0 → ... → gone, never back after the job left it.
    ASSERT_GE(published.size(), 3);
    EXPECT_EQ(published[1].value(0).state, JobRecord::State::claimed);
    EXPECT_TRUE(published.last().isEmpty());
    EXPECT_TRUE(jobLogLines().isEmpty()) << jobLogLines().join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Types, JobRunnerEndToEnd,
    ::testing::Values(JobTypeCase{"thumbnail", JobRecord::JobType::thumbnail, "thumbnail.jpg"},
                      JobTypeCase{"preview", JobRecord::JobType::preview, "preview.mp4"},
                      JobTypeCase{"prores", JobRecord::JobType::prores, "output.mov"}),
    [](const auto& info) { return std::string(info.param.type); });

TEST_F(EngineFixture, FfmpegFailureReportsExitCodeAndTail) {
    kestrel.setSource("this is not a video file");
    JobRunner runner(*deps);
    EXPECT_ANY_THROW(
        kwtest::runTask(runner.run(JobInputs{"bad", JobRecord::JobType::preview, "x.mp4"})));
    const auto reports = kestrel.reports("bad");
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.last().action, "fail");
    const QString message = reports.last().body.value("error_message").toString();
    EXPECT_TRUE(message.startsWith("ffmpeg exited 1: ")) << message.toStdString();
    EXPECT_GT(message.size(), QString("ffmpeg exited 1: ").size());
    const auto record = history->record("bad");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, JobRecord::State::failed);
    EXPECT_EQ(record->errorMessage, message);
    ASSERT_EQ(jobLogLines().size(), 1);
    EXPECT_TRUE(jobLogLines().first().startsWith("Job failed: "));
    EXPECT_FALSE(QDir(scratchRoot() + "/bad").exists());
    EXPECT_TRUE(activeJobs.snapshot().isEmpty());
}

TEST_F(EngineFixture, RejectedFirstReportFailsWithClientText) {
    kestrel.setFault([](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.target.endsWith("/progress/")) {
            RawHttpServer::respond(socket, 401, "nope");
            return true;
        }
        return false;
    });
    JobRunner runner(*deps);
    EXPECT_ANY_THROW(
        kwtest::runTask(runner.run(JobInputs{"j401", JobRecord::JobType::thumbnail, "a.mov"})));
    const auto reports = kestrel.reports("j401");
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.first().action, "fail");
    EXPECT_EQ(reports.first().body.value("error_message").toString(), "Token rejected (401)");
    EXPECT_EQ(history->record("j401")->errorMessage, "Token rejected (401)");
}

TEST_F(EngineFixture, RejectedDownloadOrCompleteFailsTheJobWithTheClientText) {
    const QList<std::tuple<QByteArray, int, QString>> cases{
        {"/download/", 404, "Job not found (404)"},
        {"/complete/", 500, "Server error 500: complete refused"},
    };
    for (const auto& [endpoint, status, expected] : cases) {
        const QString id = QStringLiteral("reject-%1").arg(status);
        kestrel.setFault([endpoint = endpoint, status = status](const RecordedRequest& request,
                                                                QTcpSocket* socket) {
            if (request.target.endsWith(endpoint)) {
                RawHttpServer::respond(socket, status, "complete refused",
                                       {{"Content-Type", "text/plain"}});
                return true;
            }
            return false;
        });
        JobRunner runner(*deps);
        EXPECT_ANY_THROW(
            kwtest::runTask(runner.run(JobInputs{id, JobRecord::JobType::thumbnail, "a.mov"})));
        ASSERT_FALSE(kestrel.reports(id).isEmpty());
        EXPECT_EQ(kestrel.reports(id).last().action, "fail");
        EXPECT_EQ(kestrel.reports(id).last().body.value("error_message").toString(), expected);
        EXPECT_EQ(history->record(id)->state, JobRecord::State::failed);
        EXPECT_FALSE(QDir(scratchRoot() + "/" + id).exists());
    }
}

TEST_F(EngineFixture, UnsafeJobIDNeverTouchesTheDisk) {
    // A sentinel beside the scratch root that "../.." style ids would reach.
    QFile sentinel(temp.filePath("sentinel"));
    ASSERT_TRUE(sentinel.open(QIODevice::WriteOnly));
    sentinel.close();
    JobRunner runner(*deps);
    for (const QString& id : {QString("../.."), QString(".."), QString("a/b"), QString(300, 'x')}) {
        EXPECT_THROW(
            kwtest::runTask(runner.run(JobInputs{id, JobRecord::JobType::preview, "x.mov"})),
            InvalidJobIDError);
        EXPECT_FALSE(history->record(id));
    }
    EXPECT_TRUE(QFile::exists(temp.filePath("sentinel")));
    EXPECT_TRUE(QDir(scratchRoot()).isEmpty());
    // Those a path can carry were reported failed.
    ASSERT_EQ(kestrel.reports("a/b").size(), 1);
    EXPECT_EQ(kestrel.reports("a/b").first().body.value("error_message").toString(),
              "invalid job id");
    EXPECT_EQ(kestrel.reports("../..").size(), 1);
    EXPECT_TRUE(kestrel.reports("..").isEmpty());
    EXPECT_EQ(jobLogLines().count("Job failed: invalid job id"), 4);
}

TEST_F(EngineFixture, DuplicateJobEndsAtOnceWithoutReports) {
    const JobRecord earlier{"dup", JobRecord::JobType::preview, "a.mov", JobRecord::State::failed,
                            QDateTime::currentDateTimeUtc().addSecs(-60)};
    history->insert(earlier);
    JobRunner runner(*deps);
    EXPECT_ANY_THROW(
        kwtest::runTask(runner.run(JobInputs{"dup", JobRecord::JobType::preview, "a.mov"})));
    EXPECT_TRUE(kestrel.server().requests().isEmpty());
    EXPECT_EQ(history->record("dup")->startedAt, earlier.startedAt);
}

TEST_F(EngineFixture, UncreatableScratchFolderIsReportedFailed) {
    // A regular file where the scratch root should be.
    QDir(scratchRoot()).removeRecursively();
    QFile blocker(scratchRoot());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    JobRunner runner(*deps);
    EXPECT_ANY_THROW(
        kwtest::runTask(runner.run(JobInputs{"nofolder", JobRecord::JobType::preview, "a.mov"})));
    ASSERT_EQ(kestrel.reports("nofolder").size(), 1);
    EXPECT_EQ(kestrel.reports("nofolder").first().action, "fail");
    EXPECT_EQ(jobLogLines().size(), 1);
    EXPECT_FALSE(history->record("nofolder"));
}

TEST_F(EngineFixture, VanishedRecordIsNotRecreatedAndJobCompletes) {
    kestrel.setFault([this](const RecordedRequest& request, QTcpSocket*) {
        if (request.target.endsWith("/download/")) {
            // Remove the row behind the runner's back.
            SQLite::Database db(temp.filePath("history.sqlite").toStdString(),
                                SQLite::OPEN_READWRITE);
            db.exec("DELETE FROM jobs");
        }
        return false;
    });
    JobRunner runner(*deps);
    kwtest::runTask(runner.run(JobInputs{"gone", JobRecord::JobType::thumbnail, "a.mov"}));
    EXPECT_EQ(kestrel.reports("gone").last().action, "complete");
    EXPECT_FALSE(history->record("gone"));
}

TEST_F(EngineFixture, CancellingMidEncodeEndsFfmpegAndReportsFailure) {
    JobRunner runner(*deps);
    std::stop_source stop;
    // Cancel once the first encoding stage report has arrived.
    QObject::connect(&kestrel.server(), &RawHttpServer::requestReceived, &context,
                     [&](const RecordedRequest& request) {
                         if (request.body.contains("\"encoding\"")) {
                             QTimer::singleShot(200, [&] { stop.request_stop(); });
                         }
                     });
    EXPECT_ANY_THROW(kwtest::runTask(runner.run(
        JobInputs{"cancel-me", JobRecord::JobType::prores, "a.mov", true}, stop.get_token())));
    const auto reports = kestrel.reports("cancel-me");
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.last().action, "fail");
    EXPECT_EQ(history->record("cancel-me")->state, JobRecord::State::failed);
    EXPECT_TRUE(activeJobs.snapshot().isEmpty());
    EXPECT_FALSE(QDir(scratchRoot() + "/cancel-me").exists());
    QProcess pgrep;
    pgrep.start("pgrep", {"-f", scratchRoot() + "/cancel-me"});
    pgrep.waitForFinished(5000);
    EXPECT_NE(pgrep.exitCode(), 0) << "ffmpeg still running: " << pgrep.readAll().toStdString();
}

TEST(JobRunnerNamesTest, SourceFileNameAndFailureMessage) {
    EXPECT_EQ(JobRunner::sourceFileName("clip"), "input.mov");
    EXPECT_EQ(JobRunner::sourceFileName("Reel.MXF"), "input.MXF");
    EXPECT_EQ(JobRunner::sourceFileName("a.b.mp4"), "input.mp4");
    EXPECT_EQ(JobRunner::sourceFileName("dir.x/clip"), "input.mov");
    const FFmpegRunner::ExecutionFailure failure(1, "line one\nline two");
    EXPECT_EQ(JobRunner::failureMessage(failure), "ffmpeg exited 1: line one\nline two");
}
