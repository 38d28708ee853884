#include "HeadlessOptions.h"
#include "TestClip.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

// kestrel-workerd as a child process against kestrel-devserver, each test in a
// home of its own.
class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(home()); }
    QString home() const { return temp.filePath("home"); }

    QProcessEnvironment environment(const QString& token = "tok") const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home());
        env.insert("TMPDIR", home() + "/tmp");
        QDir().mkpath(home() + "/tmp");
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
            env.remove(name);
        }
        if (token.isNull()) {
            env.remove("KESTREL_WORKER_TOKEN");
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // no keyring
        } else {
            env.insert("KESTREL_WORKER_TOKEN", token);
        }
        return env;
    }

    // Starts the dev server; returns its base URL.
    QString startServer(const QStringList& extra) {
        server.setProgram(QStringLiteral(KW_BIN_DIR "/kestrel-devserver"));
        server.setArguments(QStringList{"--port", "0", "--token", "tok", "--output-dir",
                                        temp.filePath("uploads"), "--summary",
                                        temp.filePath("summary.json")} +
                            extra);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start();
        QByteArray seen;
        while (server.waitForReadyRead(30000)) {
            seen += server.readAll();
            const qsizetype at = seen.indexOf("listening on ");
            if (at >= 0 && seen.indexOf('\n', at) > 0) {
                const qsizetype end = seen.indexOf('\n', at);
                return QString::fromUtf8(seen.mid(at + 13, end - at - 13)).trimmed();
            }
        }
        ADD_FAILURE() << "dev server did not start: " << seen.toStdString();
        return {};
    }

    QJsonArray stopServerAndReadJobs() {
        server.terminate();
        server.waitForFinished(10000);
        QFile file(temp.filePath("summary.json"));
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object().value("jobs").toArray();
    }

    struct Outcome {
        int exitCode;
        QString stderrText;
    };
    Outcome runWorker(const QStringList& arguments, const QProcessEnvironment& env,
                      int timeoutMs = 120000) {
        QProcess worker;
        worker.setProcessEnvironment(env);
        worker.start(QStringLiteral(KW_BIN_DIR "/kestrel-workerd"), arguments);
        EXPECT_TRUE(worker.waitForFinished(timeoutMs)) << "worker did not exit";
        return {worker.exitStatus() == QProcess::NormalExit ? worker.exitCode() : -1,
                QString::fromUtf8(worker.readAllStandardError())};
    }

    // A clip of the given length in the server's jobs folder; the file name's
    // prefix picks the job type.
    void makeJobClip(const QString& fileName, int seconds) {
        QDir().mkpath(jobsDir());
        kwtest::TestClip clip;
        clip.size = QStringLiteral("1280x720");
        clip.seconds = QString::number(seconds);
        const QString error = kwtest::makeTestClip(QDir(jobsDir()).filePath(fileName), clip);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
    QString jobsDir() const { return temp.filePath("jobs"); }

    // Starts a worker that keeps running; its progress lines are on stdout.
    void startWorker(QProcess& worker, const QStringList& arguments) {
        worker.setProcessEnvironment(environment());
        worker.start(QStringLiteral(KW_BIN_DIR "/kestrel-workerd"), arguments);
        ASSERT_TRUE(worker.waitForStarted());
    }

    // Reads the worker's stdout until a line contains `text`.
    static bool waitForOutput(QProcess& worker, const QByteArray& text, QByteArray& seen) {
        while (!seen.contains(text)) {
            if (!worker.waitForReadyRead(60000)) {
                return false;
            }
            seen += worker.readAllStandardOutput();
        }
        return true;
    }

    static QJsonObject jobById(const QJsonArray& jobs, const QString& id) {
        for (const QJsonValue& job : jobs) {
            if (job.toObject().value("id").toString() == id) {
                return job.toObject();
            }
        }
        ADD_FAILURE() << "no job " << id.toStdString();
        return {};
    }

    ~HeadlessTest() override {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(5000);
        }
    }

    QTemporaryDir temp;
    QProcess server;
};

TEST_F(HeadlessTest, DrainRunCompletesOneJobOfEachTypeWithoutSavingFlags) {
    const QString url =
        startServer({"--generate", "3", "--generate-types", "prores,thumbnail,preview"});
    const Outcome outcome = runWorker({"--server", url, "--drain", "--concurrency", "2",
                                       "--poll-interval", "1", "--name", "flag-name"},
                                      environment());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.stderrText.toStdString();
    const QJsonArray jobs = stopServerAndReadJobs();
    ASSERT_EQ(jobs.size(), 3);
    for (const QJsonValue& job : jobs) {
        EXPECT_EQ(job.toObject().value("state").toString(), "completed")
            << QJsonDocument(job.toObject()).toJson().toStdString();
    }
    // The flags were for this run only.
    QFile settings(home() + "/.config/KestrelWorker/KestrelWorker.conf");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray stored = settings.readAll();
    EXPECT_FALSE(stored.contains("flag-name"));
    EXPECT_FALSE(stored.contains(url.toUtf8()));
}

TEST_F(HeadlessTest, MalformedFlagValuesExitTwoWithOneLine) {
    const QList<QStringList> cases{{"--concurrency", "0"},
                                   {"--concurrency", "65"},
                                   {"--concurrency", "two"},
                                   {"--poll-interval", "0"},
                                   {"--poll-interval", "3601"},
                                   {"--server", "ftp://example.com"},
                                   {"--bogus"}};
    for (const QStringList& arguments : cases) {
        const Outcome outcome = runWorker(arguments, environment(), 10000);
        EXPECT_EQ(outcome.exitCode, 2) << arguments.join(" ").toStdString();
        EXPECT_EQ(outcome.stderrText.count('\n'), 1) << outcome.stderrText.toStdString();
    }
    EXPECT_FALSE(QFile::exists(home() + "/.local/share/KestrelWorker/history.sqlite"))
        << "nothing may be started on a bad command line";
}

TEST_F(HeadlessTest, NoTokenAnywhereFailsToStart) {
    const Outcome outcome =
        runWorker({"--server", "http://127.0.0.1:9"}, environment(QString()), 30000);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.stderrText.contains("Failed to start: no worker token"))
        << outcome.stderrText.toStdString();
}

TEST_F(HeadlessTest, StartupFailuresExitOneWithTheReason) {
    // A database file that is not a database.
    QDir().mkpath(home() + "/.local/share/KestrelWorker");
    QFile bad(home() + "/.local/share/KestrelWorker/history.sqlite");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, 'x'));
    bad.close();
    Outcome outcome = runWorker({"--server", "http://127.0.0.1:9"}, environment(), 30000);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.stderrText.startsWith("Failed to start: "))
        << outcome.stderrText.toStdString();
    QFile::remove(bad.fileName());

    // The shared default scratch folder planted as a symbolic link.
    ASSERT_TRUE(QFile::link(temp.path(), home() + "/tmp/com.talmark.KestrelWorker"));
    outcome = runWorker({"--server", "http://127.0.0.1:9"}, environment(), 30000);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.stderrText.contains("Failed to start: ") &&
                outcome.stderrText.contains("symbolic link"))
        << outcome.stderrText.toStdString();
}

TEST_F(HeadlessTest, SigtermMidJobReportsItFailedAndExitsZero) {
    const QString url = startServer({"--generate", "1", "--generate-types", "prores"});
    QProcess worker;
    worker.setProcessEnvironment(environment());
    worker.start(QStringLiteral(KW_BIN_DIR "/kestrel-workerd"),
                 {"--server", url, "--poll-interval", "1"});
    QByteArray progress;
    while (!progress.contains("encoding") && worker.waitForReadyRead(30000)) {
        progress += worker.readAllStandardOutput();
    }
    ASSERT_TRUE(progress.contains("encoding")) << progress.toStdString();
    ::kill(pid_t(worker.processId()), SIGTERM);
    ASSERT_TRUE(worker.waitForFinished(30000));
    EXPECT_EQ(worker.exitCode(), 0);
    const QJsonArray jobs = stopServerAndReadJobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].toObject().value("state").toString(), "failed");
    EXPECT_EQ(jobs[0].toObject().value("error_message").toString(),
              "worker process exited unexpectedly");
}

TEST_F(HeadlessTest, SigquitMidJobLetsItFinishAndClaimsNoMore) {
    // A 4K prores encode of even a 3 s clip takes seconds: the signal lands mid-job.
    makeJobClip("prores-1.mp4", 3);
    makeJobClip("thumbnail-2.mp4", 3); // past frame 50
    const QString url = startServer({"--jobs-dir", jobsDir()});
    QProcess worker;
    startWorker(worker, {"--server", url, "--concurrency", "1", "--poll-interval", "1"});
    QByteArray progress;
    ASSERT_TRUE(waitForOutput(worker, "job-1 prores encoding", progress)) << progress.toStdString();
    ::kill(pid_t(worker.processId()), SIGQUIT);
    ASSERT_TRUE(worker.waitForFinished(120000)) << "worker did not exit after its job";
    progress += worker.readAllStandardOutput();
    EXPECT_EQ(worker.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(worker.exitCode(), 0) << worker.readAllStandardError().toStdString();
    EXPECT_TRUE(progress.contains("job-1 prores completing")) << progress.toStdString();

    const QJsonArray jobs = stopServerAndReadJobs();
    ASSERT_EQ(jobs.size(), 2);
    const QJsonObject first = jobById(jobs, "job-1");
    EXPECT_EQ(first.value("state").toString().toStdString(), "completed")
        << QJsonDocument(first).toJson().toStdString();
    EXPECT_TRUE(first.value("error_message").isNull());
    const QJsonObject second = jobById(jobs, "job-2");
    EXPECT_EQ(second.value("state").toString().toStdString(), "queued") << "claimed after SIGQUIT";
}

TEST_F(HeadlessTest, SigkillMidJobThenRestartFailsTheStaleJob) {
    makeJobClip("prores-1.mp4", 5);
    makeJobClip("thumbnail-2.mp4", 3); // past frame 50
    const QString url = startServer({"--jobs-dir", jobsDir()});
    const QStringList arguments = {"--server", url, "--concurrency", "1", "--poll-interval", "1"};
    QProcess killed;
    startWorker(killed, arguments);
    QByteArray progress;
    ASSERT_TRUE(waitForOutput(killed, "job-1 prores encoding", progress)) << progress.toStdString();
    ::kill(pid_t(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(30000));
    EXPECT_EQ(killed.exitStatus(), QProcess::CrashExit);

    // The same home, so the same history database and worker identity.
    const Outcome restarted = runWorker(arguments + QStringList{"--drain"}, environment());
    EXPECT_EQ(restarted.exitCode, 0) << restarted.stderrText.toStdString();
    EXPECT_TRUE(restarted.stderrText.contains("Marked stale in-flight job as failed"))
        << restarted.stderrText.toStdString();

    const QJsonArray jobs = stopServerAndReadJobs();
    ASSERT_EQ(jobs.size(), 2);
    const QJsonObject first = jobById(jobs, "job-1");
    EXPECT_EQ(first.value("state").toString().toStdString(), "failed")
        << QJsonDocument(first).toJson().toStdString();
    EXPECT_EQ(first.value("error_message").toString().toStdString(),
              "worker process exited unexpectedly");
    const QJsonObject second = jobById(jobs, "job-2");
    EXPECT_EQ(second.value("state").toString().toStdString(), "completed")
        << "the restarted worker goes on with the queue: "
        << QJsonDocument(second).toJson().toStdString();
}

TEST_F(HeadlessTest, SecondInstanceExitsWithoutClaiming) {
    QProcess first;
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.setProcessEnvironment(environment());
    first.start(QStringLiteral(KW_BIN_DIR "/kestrel-workerd"),
                {"--server", "http://127.0.0.1:9", "--poll-interval", "60"});
    ASSERT_TRUE(first.waitForStarted());
    QByteArray firstErr;
    while (!firstErr.contains("claim error") && first.waitForReadyRead(20000)) {
        firstErr += first.readAll();
    }
    const Outcome second = runWorker({"--server", "http://127.0.0.1:9"}, environment(), 30000);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.stderrText.contains(
        "Failed to start: another Kestrel Worker is running for this user"));
    EXPECT_FALSE(second.stderrText.contains("claim")) << second.stderrText.toStdString();
    first.kill();
    first.waitForFinished(5000);
    // A killed holder leaves the lock free (its first claim is logged at once).
    QProcess third;
    third.setProcessEnvironment(environment());
    third.setProcessChannelMode(QProcess::MergedChannels);
    third.start(QStringLiteral(KW_BIN_DIR "/kestrel-workerd"),
                {"--server", "http://127.0.0.1:9", "--poll-interval", "60"});
    QByteArray thirdErr;
    while (!thirdErr.contains("claim error") && third.waitForReadyRead(20000)) {
        thirdErr += third.readAll();
    }
    EXPECT_TRUE(thirdErr.contains("claim error")) << thirdErr.toStdString();
    third.kill();
    third.waitForFinished(5000);
}

TEST(HeadlessOptionsTest, TokenFileLosesOneTrailingLineBreakOnly) {
    EXPECT_EQ(HeadlessOptions::tokenFromFileContent("abc\n"), "abc");
    EXPECT_EQ(HeadlessOptions::tokenFromFileContent("abc\r\n"), "abc");
    EXPECT_EQ(HeadlessOptions::tokenFromFileContent("abc\n\n"), "abc\n");
    EXPECT_EQ(HeadlessOptions::tokenFromFileContent(" abc "), " abc ");
    const HeadlessOptions options =
        HeadlessOptions::parse({"kestrel-workerd", "--concurrency=3", "--drain"});
    EXPECT_EQ(options.concurrency, 3);
    EXPECT_TRUE(options.drain);
}
