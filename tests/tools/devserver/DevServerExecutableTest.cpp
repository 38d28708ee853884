#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The build's bin folder: from KW_TEST_BINARY_DIR when the environment has it,
// else found upwards from this test binary's folder.
QString executable() {
    const QString fromEnvironment = qEnvironmentVariable("KW_TEST_BINARY_DIR");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment + "/bin/kestrel-devserver";
    }
    QDir dir(QCoreApplication::applicationDirPath());
    do {
        if (QFileInfo::exists(dir.filePath("bin/kestrel-devserver"))) {
            return dir.filePath("bin/kestrel-devserver");
        }
    } while (dir.cdUp());
    return QStringLiteral("kestrel-devserver");
}

struct CurlResult {
    int status = 0;
    QByteArray body;
};

// curl as a second, independent client: its own HTTP stack and its own multipart encoder.
CurlResult curl(const QStringList& arguments) {
    QProcess process;
    process.start("curl", QStringList{"-sS", "-o", "-", "-w", "\n%{http_code}"} + arguments);
    process.waitForFinished(60'000);
    const QByteArray output = process.readAllStandardOutput();
    const qsizetype cut = output.lastIndexOf('\n');
    return {output.mid(cut + 1).toInt(), output.left(cut)};
}

class Running {
public:
    explicit Running(const QStringList& arguments) {
        m_process.setProgram(executable());
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
    }
    ~Running() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // The first stdout line, which names the address.
    QString firstLine() {
        while (!m_process.canReadLine() && m_process.waitForReadyRead(60'000)) {
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

QStringList auth(const QString& token) {
    return {"-H", "Authorization: Worker " + token};
}

QJsonObject claim(const QString& base) {
    const CurlResult result =
        curl(auth("tok") +
             QStringList{"-H", "Content-Type: application/json", "-d",
                         R"({"worker_id":"W","worker_name":"curl","worker_platform":"Linux"})",
                         base + "/api/workers/claim-job/"});
    return QJsonDocument::fromJson(result.body).object();
}

QJsonObject readJson(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

TEST(DevServerExecutable, ServesAFolderOfJobsAndExitsWhenTheyAreDone) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("jobs");
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(QDir(dir.path()).filePath("jobs/" + name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    };
    write("a-master.mov", "master bytes");
    write("thumbnail-b.mov", "thumb bytes");
    write(".hidden", "skipped");
    const QString summaryPath = QDir(dir.path()).filePath("summary.json");
    const QString outputDir = QDir(dir.path()).filePath("out");
    Running server({"--port", "0", "--token", "tok", "--jobs-dir",
                    QDir(dir.path()).filePath("jobs"), "--default-type", "prores",
                    "--preserve-audio", "--output-dir", outputDir, "--summary", summaryPath,
                    "--exit-when-done"});

    const QString line = server.firstLine();
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^listening on (http://127\.0\.0\.1:(\d+))$)").match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    ASSERT_NE(match.captured(2).toInt(), 0);
    const QString base = match.captured(1);

    EXPECT_EQ(
        curl({"-X", "POST", "-H", "Authorization: Worker nope", base + "/api/workers/claim-job/"})
            .status,
        401);

    const QJsonObject first = claim(base);
    EXPECT_EQ(first.value("job_type").toString(), "prores"); // no prefix: the default type
    EXPECT_EQ(first.value("file_name").toString(), "a-master.mov");
    EXPECT_EQ(first.value("preserve_audio"), QJsonValue(true));
    const QJsonObject second = claim(base);
    EXPECT_EQ(second.value("job_type").toString(), "thumbnail");
    EXPECT_EQ(second.value("preserve_audio"), QJsonValue(false));
    EXPECT_EQ(claim(base), (QJsonObject{{"claimed", false}}));

    const QString firstId = first.value("job_id").toString();
    const QString jobBase = base + "/api/workers/jobs/" + firstId;
    EXPECT_EQ(curl(auth("tok") + QStringList{jobBase + "/download/"}).body, "master bytes");
    const QString resultFile = QDir(dir.path()).filePath("output.mov");
    {
        QFile file(resultFile);
        file.open(QIODevice::WriteOnly);
        file.write("the result");
    }
    const CurlResult uploaded =
        curl(auth("tok") +
             QStringList{"-F", "file_size=10", "-F", "file=@" + resultFile, jobBase + "/upload/"});
    ASSERT_EQ(uploaded.status, 200) << uploaded.body.toStdString();
    const QJsonObject upload = QJsonDocument::fromJson(uploaded.body).object();
    const QByteArray completeBody = R"({"output_s3_key":")" +
                                    upload.value("s3_key").toString().toUtf8() +
                                    R"(","output_file_size":10,"conversion_duration_seconds":7})";
    EXPECT_EQ(curl(auth("tok") + QStringList{"-d", completeBody, jobBase + "/complete/"}).status,
              200);
    ASSERT_EQ(server.process().state(), QProcess::Running); // one job still open

    const QString secondId = second.value("job_id").toString();
    EXPECT_EQ(curl(auth("tok") + QStringList{"-d", R"({"error_message":"gave up"})",
                                             base + "/api/workers/jobs/" + secondId + "/fail/"})
                  .status,
              200);

    ASSERT_TRUE(server.process().waitForFinished(30'000));
    EXPECT_EQ(server.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.process().exitCode(), 0);
    const QByteArray output = server.process().readAllStandardOutput();
    EXPECT_TRUE(output.contains("/complete/ 200")) << output.toStdString();

    const QJsonArray jobs = readJson(summaryPath).value("jobs").toArray();
    ASSERT_EQ(jobs.size(), 2);
    const QJsonObject done = jobs[0].toObject();
    EXPECT_EQ(done.value("id").toString(), firstId);
    EXPECT_EQ(done.value("state").toString(), "completed");
    EXPECT_EQ(done.value("s3_key"), upload.value("s3_key"));
    EXPECT_EQ(done.value("output_size").toInteger(), 10);
    EXPECT_EQ(done.value("conversion_duration_seconds").toInteger(), 7);
    EXPECT_TRUE(done.value("claimed_at").isString());
    EXPECT_TRUE(done.value("finished_at").isString());
    QFile stored(done.value("output_path").toString());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), "the result");
    EXPECT_EQ(QFileInfo(stored).fileName(), firstId + "-output.mov");
    const QJsonObject failed = jobs[1].toObject();
    EXPECT_EQ(failed.value("type").toString(), "thumbnail");
    EXPECT_EQ(failed.value("state").toString(), "failed");
    EXPECT_EQ(failed.value("error_message").toString(), "gave up");
    EXPECT_TRUE(failed.value("s3_key").isNull());
}

TEST(DevServerExecutable, GeneratesSampleClipsAndWritesTheSummaryOnSigterm) {
    QTemporaryDir dir;
    const QString summaryPath = QDir(dir.path()).filePath("summary.json");
    Running server({"--token", "tok", "--generate", "3", "--generate-types", "thumbnail,preview",
                    "--work-dir", QDir(dir.path()).filePath("clips"), "--output-dir",
                    QDir(dir.path()).filePath("out"), "--summary", summaryPath});
    const QString line = server.firstLine();
    ASSERT_TRUE(line.startsWith("listening on http://127.0.0.1:")) << line.toStdString();
    const QString base = line.mid(QStringLiteral("listening on ").size());

    const QJsonObject first = claim(base);
    EXPECT_EQ(first.value("job_type").toString(), "thumbnail");
    const QByteArray clip =
        curl(auth("tok") + QStringList{base + "/api/workers/jobs/" +
                                       first.value("job_id").toString() + "/download/"})
            .body;
    EXPECT_GT(clip.size(), 10'000);
    EXPECT_EQ(clip.mid(4, 4), "ftyp"); // a real MP4 from ffmpeg
    EXPECT_EQ(claim(base).value("job_type").toString(), "preview");

    server.process().terminate();
    ASSERT_TRUE(server.process().waitForFinished(30'000));
    EXPECT_EQ(server.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.process().exitCode(), 0);
    const QJsonObject summary = readJson(summaryPath);
    EXPECT_EQ(summary.value("exit_reason").toString(), "SIGTERM");
    const QJsonArray jobs = summary.value("jobs").toArray();
    ASSERT_EQ(jobs.size(), 3);
    EXPECT_EQ(jobs[0].toObject().value("state").toString(), "claimed");
    EXPECT_EQ(jobs[1].toObject().value("state").toString(), "claimed");
    EXPECT_EQ(jobs[2].toObject().value("state").toString(), "queued");
    EXPECT_EQ(jobs[2].toObject().value("type").toString(), "thumbnail");
}

TEST(DevServerExecutable, RefusesToStartWithoutAToken) {
    QProcess process;
    process.start(executable(), {"--port", "0"});
    ASSERT_TRUE(process.waitForFinished(30'000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("--token is required"));
}
