#pragma once

#include "MiniKestrel.h"
#include "RunTask.h"
#include "TestClip.h"
#include "api/APIClient.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "graph/AppDeps.h"
#include "logging/LogStore.h"
#include "media/FFmpegRunner.h"
#include "records/JobHistoryStore.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// The real engine services over a loopback Kestrel and real ffmpeg, each test
// in its own folder.
class EngineFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_media = new QTemporaryDir();
        const QString clip = s_media->filePath("clip.mp4");
        kwtest::TestClip withAudio;
        withAudio.audioSampleRate = 48000;
        kwtest::makeTestClip(clip, withAudio); // SetUp reports an empty clip
        QFile file(clip);
        file.open(QIODevice::ReadOnly);
        s_clip = new QByteArray(file.readAll());
    }
    static void TearDownTestSuite() {
        delete s_clip;
        delete s_media;
    }

    void SetUp() override {
        ASSERT_FALSE(s_clip->isEmpty()) << "test clip was not generated";
        kestrel.setSource(*s_clip);
        QDir().mkpath(scratchRoot());
        history = std::make_unique<JobHistoryStore>(temp.filePath("history.sqlite"));
        log = std::make_unique<LogStore>(temp.filePath("logs"), 1000, 14);
        log->subscribe(&context, [this](const LogEvent& event) { events.append(event); });
        APIClient::Options options;
        options.idleTimeout = std::chrono::seconds(5);
        api = std::make_unique<APIClient>(kestrel.server().baseURL(), QString("good-token"),
                                          &session, options);
        deps = std::make_unique<AppDeps>(*api, ffmpeg, *history, *log, scratchRoot(), activeJobs);
    }

    QString scratchRoot() const { return temp.filePath("scratch"); }

    QStringList jobLogLines() const {
        QStringList lines;
        for (const LogEvent& event : events) {
            if (event.category == "job") {
                lines.append(event.message);
            }
        }
        return lines;
    }

    static QTemporaryDir* s_media;
    static QByteArray* s_clip;

    QTemporaryDir temp;
    QObject context;
    MiniKestrel kestrel;
    QNetworkAccessManager session;
    FFmpegRunner ffmpeg{"/usr/bin/ffmpeg", "/usr/bin/ffprobe"};
    ActiveJobsBroadcaster activeJobs;
    std::unique_ptr<JobHistoryStore> history;
    std::unique_ptr<LogStore> log;
    std::unique_ptr<APIClient> api;
    std::unique_ptr<AppDeps> deps;
    QList<LogEvent> events;
};
