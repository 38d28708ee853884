// The desktop lifecycle against a real engine graph and a loopback Kestrel
// server: the launch steps, the two log pumps, and the quit confirmation.
#include "MiniKestrel.h"
#include "RunTask.h"
#include "app/AppDelegate.h"
#include "app/AppDependencies.h"
#include "health/ConnectionHealth.h"
#include "login/LoginItemController.h"
#include "notifications/Notifier.h"

#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ManualClock : public Clock {
public:
    QDateTime currentDate() const override { return m_now; }
    void advance(double seconds) { m_now = m_now.addMSecs(qint64(seconds * 1000)); }

private:
    QDateTime m_now = QDateTime(QDate(2026, 12, 11), QTime(9, 0), Qt::UTC);
};

// Stands in for the desktop's notification service, which the notifier's own
// tests exercise over a real bus; here only what reaches it matters.
class RecordingNotifier : public Notifier {
public:
    QCoro::Task<void> post(QString title, QString body) override {
        posts->append({title, body});
        co_return;
    }
    std::shared_ptr<QList<QPair<QString, QString>>> posts =
        std::make_shared<QList<QPair<QString, QString>>>();
};

class DelegateFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        m_server.setSource(QByteArray(4096, 'x'));
    }

    void build(std::function<void(Settings&)> adjust = {}, bool stallDownloads = false) {
        if (stallDownloads) {
            // The download never answers: the job stays in flight.
            m_server.setFault([](const RecordedRequest& request, QTcpSocket*) {
                return request.target.endsWith("/download/");
            });
        }
        EngineGraph::Options o;
        o.settingsFile = m_home.filePath("KestrelWorker.conf");
        o.dataDirectory = m_home.filePath("data");
        o.logDirectory = m_home.filePath("logs");
        o.fixedToken = QStringLiteral("good-token");
        const QUrl url = m_server.server().baseURL();
        const QString scratch = m_home.filePath("scratch");
        o.overrideSettings = [url, scratch, adjust](Settings& s) {
            s.serverURL = url;
            s.pollInterval = 1;
            s.scratchDirectory = scratch;
            s.autoStartPollingOnLaunch = false;
            if (adjust)
                adjust(s);
        };
        m_deps = kwtest::runTask(AppDependencies::bootstrap(nullptr, o));

        AppDelegate::Services services;
        services.loginItem = std::make_unique<LoginItemController>(
            QStringLiteral("/usr/bin/kestrel-worker"), m_home.filePath("autostart"));
        auto notifier = std::make_unique<RecordingNotifier>();
        m_posts = notifier->posts;
        services.notifier = std::move(notifier);
        auto clock = std::make_unique<ManualClock>();
        m_clock = clock.get();
        services.clock = std::move(clock);
        m_delegate = std::make_unique<AppDelegate>(m_deps.get(), std::move(services));
        QObject::connect(m_delegate.get(), &AppDelegate::terminationAllowed, [this] {
            // What the server had seen when the go-ahead came.
            m_failsAtGoAhead = failReports();
            ++m_goAheads;
        });
    }

    void log(LogEvent::Level level, const QString& category, const QString& message,
             std::optional<QString> jobID = std::nullopt) {
        m_deps->logStore().log(level, category, message, jobID);
        ASSERT_TRUE(kwtest::waitUntil([&] { return m_delegate->pumpsIdle(); }));
    }

    QStringList titles() const {
        QStringList out;
        for (const auto& post : *m_posts)
            out.append(post.first);
        return out;
    }

    QStringList failReports() const {
        QStringList out;
        for (const QString& id : m_jobIDs)
            for (const MiniKestrel::Report& report : m_server.reports(id))
                if (report.action == "fail")
                    out.append(id + ": " + report.body.value("error_message").toString());
        return out;
    }

    void startJobInFlight(const QString& id) {
        m_jobIDs.append(id);
        m_server.enqueue(id, "thumbnail", "clip.mov");
        m_deps->coordinator().start();
        ASSERT_TRUE(kwtest::waitUntil([&] {
            const QList<ActiveJob> jobs = m_deps->activeJobs().snapshot();
            return !jobs.isEmpty() && jobs[0].state == JobRecord::State::downloading;
        }));
    }

    QTemporaryDir m_home;
    MiniKestrel m_server;
    std::unique_ptr<AppDependencies> m_deps;
    std::unique_ptr<AppDelegate> m_delegate;
    std::shared_ptr<QList<QPair<QString, QString>>> m_posts;
    ManualClock* m_clock = nullptr;
    QStringList m_jobIDs;
    QStringList m_failsAtGoAhead;
    int m_goAheads = 0;
};

TEST_F(DelegateFixture, HealthPumpTurnsPollFailuresIntoNotificationsAndRecovers) {
    build();
    m_delegate->launchFinished();
    using Kind = ConnectionHealth::State::Kind;
    const QString rejected = QStringLiteral("claim error: Token rejected (401)");

    log(LogEvent::Level::warn, "poll", rejected);
    EXPECT_EQ(titles(), QStringList{"Token rejected"});
    EXPECT_EQ(m_posts->at(0).second, "The Kestrel server rejected this worker's token. "
                                     "Re-enter it in Settings \u2192 Account.");
    EXPECT_EQ(m_delegate->connectionHealth().currentState().kind(), Kind::degraded);

    // Failures keep coming; the first one at the 5-minute mark says unreachable,
    // and the token notification is still inside its window... until it is not.
    m_clock->advance(299);
    log(LogEvent::Level::warn, "poll", "claim error: Transport error: Connection refused");
    EXPECT_EQ(titles().size(), 1);
    m_clock->advance(1);
    log(LogEvent::Level::warn, "poll", rejected);
    EXPECT_EQ(titles(), (QStringList{"Token rejected", "Server unreachable", "Token rejected"}));
    EXPECT_EQ(m_posts->at(1).second, "The Kestrel server has been unreachable for over 5 minutes.");

    // Other categories never count; good news about polling clears the record.
    log(LogEvent::Level::error, "job", "Job failed: boom");
    log(LogEvent::Level::info, "poll", "Server reachable again");
    EXPECT_EQ(m_delegate->connectionHealth().currentState().kind(), Kind::healthy);
    m_clock->advance(400);
    log(LogEvent::Level::warn, "poll", "claim error: Transport error: Connection refused");
    EXPECT_EQ(m_delegate->connectionHealth().currentState().kind(), Kind::degraded);
    EXPECT_EQ(titles().size(), 3);
}

TEST_F(DelegateFixture, JobFailurePumpPostsOnePerWindowForAllJobs) {
    build();
    m_delegate->launchFinished();
    log(LogEvent::Level::error, "job", "Job failed: Transport error: cancelled", QString("j1"));
    m_clock->advance(120);
    log(LogEvent::Level::error, "job", "Job failed: other", QString("j2"));
    log(LogEvent::Level::error, "job", "no job id here");
    log(LogEvent::Level::warn, "job", "warn level", QString("j3"));
    m_clock->advance(180);
    log(LogEvent::Level::error, "job", "Job failed: third", QString("j4"));
    ASSERT_EQ(m_posts->size(), 2);
    EXPECT_EQ(m_posts->at(0), qMakePair(QString("Job failed"),
                                        QString("Job j1: Job failed: Transport error: cancelled")));
    EXPECT_EQ(m_posts->at(1).second, "Job j4: Job failed: third");
}

TEST_F(DelegateFixture, ARejectedTokenFromTheRealEngineReachesTheOperator) {
    build([](Settings& s) { s.autoStartPollingOnLaunch = true; });
    m_server.setFault([](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.target.endsWith("/claim-job/")) {
            RawHttpServer::respond(socket, 401, "no");
            return true;
        }
        return false;
    });
    m_delegate->launchFinished(); // not onboarding, auto-start on: polling begins
    EXPECT_TRUE(m_deps->coordinator().isPolling());
    ASSERT_TRUE(kwtest::waitUntil([&] { return titles().contains("Token rejected"); }));
    m_deps->coordinator().stop();
}

TEST_F(DelegateFixture, LaunchRecoversStaleJobsBeforePollingAndAppliesTheLoginItem) {
    build([](Settings& s) {
        s.autoStartPollingOnLaunch = true;
        s.launchAtLogin = true;
    });
    JobRecord stale;
    stale.id = QStringLiteral("stale-1");
    stale.jobType = JobRecord::JobType::preview;
    stale.fileName = QStringLiteral("old.mov");
    stale.state = JobRecord::State::encoding;
    stale.startedAt = QDateTime::currentDateTimeUtc().addSecs(-60);
    m_deps->history().insert(stale);
    m_jobIDs.append(stale.id);

    m_delegate->launchFinished();
    ASSERT_TRUE(kwtest::waitUntil([&] { return !failReports().isEmpty(); }));
    EXPECT_EQ(failReports(), QStringList{"stale-1: worker process exited unexpectedly"});
    EXPECT_TRUE(QFileInfo(m_home.filePath("autostart/com.talmark.KestrelWorker.desktop")).isFile());
    m_deps->coordinator().stop();
}

TEST_F(DelegateFixture, OnboardingKeepsAutoStartOff) {
    build([](Settings& s) { s.autoStartPollingOnLaunch = true; });
    m_deps->setRequiresOnboarding(true);
    m_delegate->launchFinished();
    EXPECT_FALSE(m_deps->coordinator().isPolling());
}

TEST_F(DelegateFixture, QuitWithNothingInFlightIsImmediate) {
    build();
    m_delegate->launchFinished();
    EXPECT_EQ(m_delegate->shouldTerminate(), AppDelegate::TerminateReply::now);
    EXPECT_EQ(m_delegate->quitAlert(), nullptr);
}

QAbstractButton* alertButton(QMessageBox* alert, const char* name) {
    return alert->findChild<QAbstractButton*>(QString::fromLatin1(name));
}

TEST_F(DelegateFixture, QuitWithAJobInFlightAsksAndQuitAndFailReportsBeforeTheGoAhead) {
    build({}, /*stallDownloads=*/true);
    m_delegate->launchFinished();
    startJobInFlight("job-in-flight");

    ASSERT_EQ(m_delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    QMessageBox* alert = m_delegate->quitAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->icon(), QMessageBox::Warning);
    EXPECT_EQ(alert->text(), "A job is in progress.");
    EXPECT_EQ(alert->informativeText(), "Quit anyway and report it as failed?");
    ASSERT_NE(alertButton(alert, "quitAlert.cancel"), nullptr);
    EXPECT_EQ(alertButton(alert, "quitAlert.cancel")->text(), "Cancel");
    EXPECT_EQ(static_cast<QAbstractButton*>(alert->defaultButton()),
              alertButton(alert, "quitAlert.cancel"));
    ASSERT_NE(alertButton(alert, "quitAlert.quitAndFail"), nullptr);
    EXPECT_EQ(alertButton(alert, "quitAlert.quitAndFail")->text(), "Quit & Fail Job");
    // Asking again while the alert is up does not stack a second one.
    EXPECT_EQ(m_delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    EXPECT_EQ(m_delegate->quitAlert(), alert);

    // Cancel: everything keeps running.
    alertButton(alert, "quitAlert.cancel")->click();
    ASSERT_TRUE(kwtest::waitUntil([&] { return m_delegate->quitAlert() == nullptr; }));
    EXPECT_EQ(m_goAheads, 0);
    EXPECT_TRUE(failReports().isEmpty());
    EXPECT_EQ(m_deps->activeJobs().snapshot().size(), 1);

    // Quit & Fail Job: the server hears of the failure before the go-ahead.
    ASSERT_EQ(m_delegate->shouldTerminate(), AppDelegate::TerminateReply::later);
    alertButton(m_delegate->quitAlert(), "quitAlert.quitAndFail")->click();
    ASSERT_TRUE(kwtest::waitUntil([&] { return m_goAheads == 1; }));
    EXPECT_EQ(m_failsAtGoAhead, QStringList{"job-in-flight: worker process exited unexpectedly"});
    EXPECT_EQ(m_deps->history().record("job-in-flight")->state, JobRecord::State::failed);
    // No claims were made while the jobs were being reported.
    EXPECT_EQ(m_deps->coordinator().status().kind, EngineStatus::Kind::paused);
    m_deps->coordinator().stop();
}

} // namespace
