#include "engine/JobCoordinator.h"

#include "EngineFixture.h"
#include "async/CancelledError.h"
#include "async/Sleep.h"

#include <QTimer>

namespace {

Settings testSettings(qint64 maxConcurrency, qint64 pollInterval = 1) {
    Settings settings = Settings::makeDefault();
    settings.maxConcurrency = maxConcurrency;
    settings.pollInterval = pollInterval;
    return settings;
}

// A job that ends when the test says so (or is cancelled), for control of timing.
struct GatedJobs {
    QList<JobInputs> started;
    QStringList cancelled;
    bool release = false;

    JobCoordinator::JobExecutor executor() {
        return [this](JobInputs inputs, std::stop_token stop) -> QCoro::Task<void> {
            started.append(inputs);
            while (!release && !stop.stop_requested()) {
                try {
                    co_await sleepFor(std::chrono::milliseconds(20), stop);
                } catch (const CancelledError&) {
                }
            }
            if (stop.stop_requested()) {
                cancelled.append(inputs.id);
            }
        };
    }
};

} // namespace

class CoordinatorTest : public EngineFixture {
protected:
    std::unique_ptr<JobCoordinator> coordinator(Settings settings,
                                                JobCoordinator::JobExecutor executor = {}) {
        auto c = std::make_unique<JobCoordinator>(*deps, std::move(settings), nullptr,
                                                  std::move(executor));
        c->statusUpdates(&context, [this](const EngineStatus& s) { statuses.append(s); });
        return c;
    }
    void stopAndDrain(JobCoordinator& c) {
        bool ended = false;
        QObject::connect(&c, &JobCoordinator::pollLoopEnded, &context, [&] { ended = true; });
        const bool wasPolling = c.isPolling();
        c.stop();
        if (wasPolling) {
            EXPECT_TRUE(kwtest::waitUntil([&] { return ended; }));
        }
        EXPECT_TRUE(kwtest::waitUntil([&] { return c.activeRunners() == 0; }));
    }
    QList<EngineStatus> statuses;
};

TEST_F(CoordinatorTest, StatusPublicationRules) {
    auto c = coordinator(testSettings(0));
    ASSERT_EQ(statuses, QList<EngineStatus>{EngineStatus::stopped()}); // current value first
    c->stop();
    EXPECT_EQ(statuses.size(), 2) << "stop while stopped publishes";
    c->pause();
    EXPECT_EQ(statuses.last(), EngineStatus::stopped());
    c->start();
    EXPECT_EQ(statuses.last(), EngineStatus::running(0));
    const qsizetype before = statuses.size();
    c->start();
    EXPECT_EQ(statuses.size(), before) << "second start publishes nothing";
    c->pause();
    c->pause();
    EXPECT_EQ(statuses.mid(before),
              (QList<EngineStatus>{EngineStatus::paused(), EngineStatus::paused()}));
    c->resume();
    EXPECT_EQ(statuses.last(), EngineStatus::running(0));
    // maxConcurrency 0: the loop only re-checks.
    QTimer::singleShot(600, &context, [] {});
    kwtest::waitUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(kestrel.claims(), 0);
    stopAndDrain(*c);
    EXPECT_EQ(statuses.last(), EngineStatus::stopped());
}

TEST_F(CoordinatorTest, ClaimMapping) {
    struct Case {
        ClaimedJob claim;
        std::optional<JobInputs> expected;
    };
    const QList<Case> cases{
        {ClaimedJob{false, "a", "preview", "f.mov"}, std::nullopt},
        {ClaimedJob{true, "a", "preview", std::nullopt}, std::nullopt},
        {ClaimedJob{true, std::nullopt, "preview", "f.mov"}, std::nullopt},
        {ClaimedJob{true, "a", std::nullopt, "f.mov"}, std::nullopt},
        {ClaimedJob{true, "a", "thumbnail", "f.mov"},
         JobInputs{"a", JobRecord::JobType::thumbnail, "f.mov", false}},
        {ClaimedJob{true, "a", "preview", "f.mov", true},
         JobInputs{"a", JobRecord::JobType::preview, "f.mov", true}},
        {ClaimedJob{true, "a", "PREVIEW", "f.mov"},
         JobInputs{"a", JobRecord::JobType::prores, "f.mov", false}},
        {ClaimedJob{true, "a", "hdr-master", "f.mov", true},
         JobInputs{"a", JobRecord::JobType::prores, "f.mov", true}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JobCoordinator::jobInputs(c.claim), c.expected);
    }
    EXPECT_TRUE(JobCoordinator::workerPlatform().startsWith("Linux "));
}

TEST_F(CoordinatorTest, AuthenticationFailuresSetTokenRejectedUntilAClaimSucceeds) {
    int answer = 0;
    const QList<std::pair<int, QByteArray>> answers{{403, "forbidden"},
                                                    {500, "auth 401 upstream"},
                                                    {-1, {}},
                                                    {-1, {}},
                                                    {200, R"({"claimed":false})"}};
    // Two drops in a row: Qt retries a request once when a kept-alive connection dies.
    kestrel.setFault([&](const RecordedRequest&, QTcpSocket* socket) {
        const auto [status, body] = answers.value(std::min<int>(answer++, answers.size() - 1));
        if (status < 0) {
            socket->abort(); // a transport error
        } else {
            RawHttpServer::respond(socket, status, body);
        }
        return true;
    });
    auto c = coordinator(testSettings(1, 0));
    c->start();
    ASSERT_TRUE(kwtest::waitUntil([&] {
        return std::any_of(events.begin(), events.end(),
                           [](const LogEvent& e) { return e.message == "Server reachable again"; });
    }));
    const QList<LogEvent> beforeStop = events; // stop aborts a claim in flight, which logs too
    stopAndDrain(*c);
    QList<EngineStatus> errors;
    for (const EngineStatus& s : statuses) {
        if (s.kind == EngineStatus::Kind::error)
            errors.append(s);
    }
    // Set once by the 403, kept through the 500 and the transport error.
    EXPECT_EQ(errors, QList<EngineStatus>{EngineStatus::error("Token rejected")});
    EXPECT_TRUE(statuses.contains(EngineStatus::running(0)));
    QStringList poll;
    for (const LogEvent& e : events) {
        if (e.category == "poll")
            poll.append(LogEvent::toString(e.level) + ": " + e.message);
    }
    ASSERT_GE(poll.size(), 4);
    EXPECT_EQ(poll[0], "warn: claim error: Client error 403: forbidden");
    EXPECT_EQ(poll[1], "warn: claim error: Server error 500: auth 401 upstream");
    EXPECT_TRUE(poll[2].startsWith("warn: claim error: Transport error: "))
        << poll[2].toStdString();
    // Qt may or may not retry a dropped kept-alive request, so the number of
    // transport lines varies; recovery must be logged after them.
    const qsizetype recovered = poll.indexOf("info: Server reachable again");
    EXPECT_GT(recovered, 2);
    EXPECT_EQ(poll.indexOf("info: Server reachable again", 0), recovered);
}

TEST_F(CoordinatorTest, StopCancelsJobsAndStatusStaysStoppedWhileTheyWindDown) {
    GatedJobs gate;
    for (int i = 0; i < 3; ++i)
        kestrel.enqueue(QString("g%1").arg(i), "preview", "a.mov");
    auto c = coordinator(testSettings(2), gate.executor());
    c->start();
    ASSERT_TRUE(kwtest::waitUntil([&] { return gate.started.size() == 2; }));
    EXPECT_EQ(c->status(), EngineStatus::running(2));
    // Full: no claim while both slots are busy.
    const int claims = kestrel.claims();
    kwtest::waitUntil([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(kestrel.claims(), claims);
    c->cancelJob("unknown"); // no effect
    c->cancelJob("g0");
    ASSERT_TRUE(kwtest::waitUntil([&] { return gate.cancelled.contains("g0"); }));
    ASSERT_TRUE(kwtest::waitUntil([&] { return gate.started.size() == 3; })); // slot refilled
    stopAndDrain(*c);
    EXPECT_EQ(gate.cancelled.size(), 3);
    for (qsizetype i = statuses.indexOf(EngineStatus::stopped(), 1); i >= 0 && i < statuses.size();
         ++i) {
        EXPECT_EQ(statuses[i], EngineStatus::stopped());
    }
}

TEST_F(CoordinatorTest, FiveJobsWithLimitTwoAllCompleteNeverMoreThanTwo) {
    for (int i = 0; i < 5; ++i)
        kestrel.enqueue(QString("t%1").arg(i), "thumbnail", "clip.mp4");
    auto c = coordinator(testSettings(2));
    c->start();
    ASSERT_TRUE(
        kwtest::waitUntil([&] { return kestrel.finished() == 5; }, std::chrono::seconds(120)));
    stopAndDrain(*c);
    EXPECT_LE(kestrel.maxInFlight(), 2);
    EXPECT_EQ(kestrel.maxInFlight(), 2);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kestrel.reports(QString("t%1").arg(i)).last().action, "complete");
        EXPECT_EQ(history->record(QString("t%1").arg(i))->state, JobRecord::State::completed);
    }
}

TEST_F(CoordinatorTest, RecoverStaleJobsMarksEveryRecordEvenWhenServerIsDown) {
    for (const auto state :
         {JobRecord::State::claimed, JobRecord::State::encoding, JobRecord::State::completed}) {
        history->insert(JobRecord{JobRecord::toString(state), JobRecord::JobType::preview, "a.mov",
                                  state, QDateTime::currentDateTimeUtc()});
    }
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    APIClient unreachable(QUrl(QString("http://127.0.0.1:%1").arg(port)), QString("good-token"),
                          &session);
    AppDeps offline(unreachable, ffmpeg, *history, *log, scratchRoot(), activeJobs);
    JobCoordinator c(offline, testSettings(1));
    kwtest::runTask(c.recoverStaleJobs());
    for (const QString id : {"claimed", "encoding"}) {
        EXPECT_EQ(history->record(id)->state, JobRecord::State::failed);
        EXPECT_EQ(history->record(id)->errorMessage, "worker process exited unexpectedly");
    }
    EXPECT_EQ(history->record("completed")->state, JobRecord::State::completed);
    int recoveryLines = 0;
    for (const LogEvent& e : events) {
        recoveryLines +=
            e.category == "recovery" && e.message == "Marked stale in-flight job as failed";
    }
    EXPECT_EQ(recoveryLines, 2);
}
