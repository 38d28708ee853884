#include "now/NowTabViewModel.h"

#include "RawHttpServer.h"
#include "RunTask.h"
#include "ViewModelFakes.h"
#include "api/APIClient.h"
#include "async/CancelledError.h"
#include "async/Sleep.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "engine/JobCoordinator.h"
#include "graph/AppDeps.h"
#include "logging/LogStore.h"
#include "media/FFmpegRunner.h"
#include "records/JobHistoryStore.h"

#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using vmtest::FakeEngine;
using Kind = NowTabViewModel::PillKind;

namespace {

struct PillCase {
    const char* name;
    EngineStatus status;
    qint64 maxConcurrency;
    Kind kind;
    QString text;
    Tone tone;
    bool running;
    bool paused;
    QString mainButton;
    QString emptyState;
};

} // namespace

TEST(NowTabViewModel, EachStatusGivesItsPillControlsAndEmptyState) {
    const QString active = "Polling is active.";
    const QString stopped = "Polling is stopped.";
    const QList<PillCase> cases = {
        {"two of four", EngineStatus::running(2), 4, Kind::working, "Working: 2 of 4", Tone::green,
         true, false, "Pause", active},
        {"nothing claimed", EngineStatus::running(0), 4, Kind::working,
         QString::fromUtf8("Polling \u2014 no jobs"), Tone::green, true, false, "Pause", active},
        // The limit is the one given at construction, even when more jobs run.
        {"over the launch limit", EngineStatus::running(5), 4, Kind::working, "Working: 5 of 4",
         Tone::green, true, false, "Pause", active},
        {"paused", EngineStatus::paused(), 4, Kind::paused, "Paused", Tone::orange, true, true,
         "Resume", active},
        {"stopped", EngineStatus::stopped(), 4, Kind::idle, "Idle", Tone::secondary, false, false,
         "Start", stopped},
        // Still polling underneath, but shown as not running: Start, no Disconnect.
        {"token rejected", EngineStatus::error("Token rejected"), 4, Kind::error,
         "Error: Token rejected", Tone::red, false, false, "Start", stopped},
    };
    for (const PillCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeEngine engine;
        NowTabViewModel model(engine, c.maxConcurrency);
        int changes = 0;
        QObject::connect(&model, &NowTabViewModel::statusChanged, [&] { ++changes; });
        engine.publish(c.status);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(model.pillKind(), c.kind);
        EXPECT_EQ(model.pillText(), c.text);
        EXPECT_EQ(model.pillTone(), c.tone);
        EXPECT_EQ(model.isRunning(), c.running);
        EXPECT_EQ(model.isPaused(), c.paused);
        EXPECT_EQ(model.mainButtonTitle(), c.mainButton);
        EXPECT_EQ(model.showsDisconnect(), c.running);
        EXPECT_EQ(model.emptyStateDescription(), c.emptyState);
    }
}

TEST(NowTabViewModel, ShowsTheEnginesCurrentStatusAndJobsFromConstruction) {
    FakeEngine engine;
    engine.current = EngineStatus::paused();
    engine.jobs = {ActiveJob{"j1", "a.mov", JobRecord::JobType::preview, JobRecord::State::encoding,
                             40, QDateTime::currentDateTimeUtc()}};
    NowTabViewModel model(engine, 2);
    EXPECT_EQ(model.pillText(), "Paused");
    ASSERT_EQ(model.activeJobs().size(), 1);
    EXPECT_EQ(model.activeJobs().first().id, "j1");

    int jobChanges = 0;
    QObject::connect(&model, &NowTabViewModel::activeJobsChanged, [&] { ++jobChanges; });
    engine.publishJobs({});
    EXPECT_EQ(jobChanges, 1);
    EXPECT_TRUE(model.activeJobs().isEmpty());
}

TEST(NowTabViewModel, TogglePauseDecidesFromTheEnginesStatusNotTheShownOne) {
    FakeEngine engine;
    NowTabViewModel model(engine, 2);
    engine.publish(EngineStatus::running(0));
    ASSERT_FALSE(model.isPaused());

    // The engine is paused but has not published it yet: resume, not pause.
    engine.current = EngineStatus::paused();
    model.togglePause();
    EXPECT_EQ(engine.calls, QStringList{"resume"});

    engine.publish(EngineStatus::paused());
    ASSERT_TRUE(model.isPaused());
    engine.current = EngineStatus::running(1);
    model.togglePause();
    EXPECT_EQ(engine.calls, (QStringList{"resume", "pause"}));
}

TEST(NowTabViewModel, ButtonsReachTheEngine) {
    FakeEngine engine;
    NowTabViewModel model(engine, 2);
    model.pressMainButton(); // not running: start
    engine.publish(EngineStatus::running(0));
    model.pressMainButton(); // running: pause
    model.cancelJob("job-7");
    model.disconnectEngine();
    // The error status is not running, so the main button starts again.
    engine.publish(EngineStatus::error("Token rejected"));
    model.pressMainButton();
    EXPECT_EQ(engine.calls, (QStringList{"start", "pause", "cancelJob:job-7", "stop", "start"}));
}

TEST(NowTabViewModel, ElapsedTextIsWholeMinutesAndSeconds) {
    const QDateTime now = QDateTime::fromString("2025-03-07T12:00:00.000Z", Qt::ISODateWithMs);
    const struct {
        qint64 msAgo;
        const char* text;
    } cases[] = {
        {0, "0:00"},
        {999, "0:00"}, // truncated, not rounded
        {59'999, "0:59"},
        {60'000, "1:00"},
        {(75 * 60 + 3) * 1000, "75:03"}, // not wrapped into hours
        {-5'000, "0:00"},                // a start in the future (clock set back)
        {-65'000, "0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.msAgo);
        EXPECT_EQ(NowTabViewModel::elapsedText(now.addMSecs(-c.msAgo), now), c.text);
    }
}

TEST(NowTabViewModel, CardTexts) {
    EXPECT_EQ(NowTabViewModel::stateText(JobRecord::State::downloading), "Downloading");
    EXPECT_EQ(NowTabViewModel::stateText(JobRecord::State::completing), "Completing");
    EXPECT_EQ(NowTabViewModel::jobTypeSymbol(JobRecord::JobType::prores), "film");
    EXPECT_EQ(NowTabViewModel::jobTypeSymbol(JobRecord::JobType::thumbnail), "photo");
    EXPECT_EQ(NowTabViewModel::jobTypeSymbol(JobRecord::JobType::preview), "play.rectangle");
}

// The model over the real coordinator and broadcaster, polling a loopback server
// that hands out one job; the job itself is a stand-in that runs until cancelled.
TEST(NowTabViewModel, FollowsTheRealEngineThroughAJobsLife) {
    QTemporaryDir temp;
    RawHttpServer server;
    int claims = 0;
    server.setHandler([&](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.target == "/api/workers/claim-job/" && ++claims == 1) {
            RawHttpServer::respond(socket, 200,
                                   R"({"claimed":true,"job_id":"job-1","job_type":"preview",)"
                                   R"("file_name":"clip.mov"})");
        } else {
            RawHttpServer::respond(socket, 200, R"({"claimed":false})");
        }
    });
    QNetworkAccessManager session;
    APIClient api(server.baseURL(), QString("token"), &session);
    FFmpegRunner ffmpeg("/usr/bin/ffmpeg", "/usr/bin/ffprobe");
    JobHistoryStore history(temp.filePath("history.sqlite"));
    LogStore log(temp.filePath("logs"), 100, 14);
    ActiveJobsBroadcaster activeJobs;
    AppDeps deps(api, ffmpeg, history, log, temp.filePath("scratch"), activeJobs);

    bool jobCancelled = false;
    auto executor = [&](JobInputs inputs, std::stop_token stop) -> QCoro::Task<void> {
        activeJobs.upsert(ActiveJob{inputs.id, inputs.fileName, inputs.type,
                                    JobRecord::State::encoding, 35,
                                    QDateTime::currentDateTimeUtc()});
        try {
            co_await sleepFor(std::chrono::hours(1), stop);
        } catch (const CancelledError&) {
            jobCancelled = true;
        }
        activeJobs.remove(inputs.id);
    };
    Settings settings = Settings::makeDefault();
    settings.maxConcurrency = 2;
    settings.pollInterval = 1;
    JobCoordinator coordinator(deps, settings, nullptr, executor);

    auto model = std::make_unique<NowTabViewModel>(coordinator, 2);
    EXPECT_EQ(model->pillText(), "Idle");
    EXPECT_EQ(model->mainButtonTitle(), "Start");

    model->pressMainButton();
    ASSERT_TRUE(kwtest::waitUntil([&] { return model->pillText() == "Working: 1 of 2"; }));
    ASSERT_TRUE(kwtest::waitUntil([&] { return model->activeJobs().size() == 1; }));
    EXPECT_EQ(model->activeJobs().first().fileName, "clip.mov");
    EXPECT_EQ(model->activeJobs().first().percent, 35);

    model->togglePause();
    EXPECT_EQ(coordinator.status(), EngineStatus::paused());
    EXPECT_EQ(model->pillText(), "Paused");
    EXPECT_EQ(model->mainButtonTitle(), "Resume");
    model->pressMainButton();
    EXPECT_EQ(model->pillText(), "Working: 1 of 2");

    model->cancelJob("job-1");
    ASSERT_TRUE(kwtest::waitUntil([&] { return model->activeJobs().isEmpty(); }));
    EXPECT_TRUE(jobCancelled);
    ASSERT_TRUE(kwtest::waitUntil(
        [&] { return model->pillText() == QString::fromUtf8("Polling \u2014 no jobs"); }));

    // Gone before the engine's next publications: they must not reach it.
    model.reset();
    bool loopEnded = false;
    QObject::connect(&coordinator, &JobCoordinator::pollLoopEnded, [&] { loopEnded = true; });
    coordinator.stop();
    activeJobs.upsert(ActiveJob{"late", "late.mov", JobRecord::JobType::prores,
                                JobRecord::State::claimed, 0, QDateTime::currentDateTimeUtc()});
    NowTabViewModel fresh(coordinator, 2);
    EXPECT_EQ(fresh.pillText(), "Idle");
    EXPECT_EQ(fresh.activeJobs().size(), 1);
    EXPECT_TRUE(kwtest::waitUntil([&] { return loopEnded; }));
}
