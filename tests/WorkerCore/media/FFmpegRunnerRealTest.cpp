// The three recipes run by the real ffmpeg on small generated clips, checked
// with ffprobe.
#include "RunTask.h"
#include "TestClip.h"
#include "media/FFmpegRunner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using Inv = FFmpegInvocation;

QByteArray runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
    }
    return process.readAllStandardOutput();
}

// Offsets of the first top-level MP4/MOV boxes of each type.
std::map<QByteArray, qint64> topLevelBoxes(const QString& path) {
    std::map<QByteArray, qint64> offsets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return offsets;
    }
    qint64 offset = 0;
    while (offset + 8 <= file.size()) {
        file.seek(offset);
        const QByteArray head = file.read(16);
        quint64 size = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4, 4);
        if (size == 1) {
            size = qFromBigEndian<quint64>(head.constData() + 8);
        } else if (size == 0) {
            size = quint64(file.size() - offset);
        }
        offsets.emplace(type, offset);
        if (size < 8) {
            break;
        }
        offset += qint64(size);
    }
    return offsets;
}

class FFmpegRunnerRealTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_ffmpeg = QStandardPaths::findExecutable("ffmpeg");
        s_ffprobe = QStandardPaths::findExecutable("ffprobe");
        if (s_ffmpeg.isEmpty() || s_ffprobe.isEmpty()) {
            return;
        }
        s_dir = std::make_unique<QTemporaryDir>();
        // 3 s for the thumbnail (frame 50) and the preview; 0.4 s keeps the 4K ProRes encodes
        // short.
        for (const auto& [name, seconds] : {std::pair{"source.mp4", "3"}, {"short.mp4", "0.4"}}) {
            // 44.1 kHz, so the ProRes recipe's resampling to 48 kHz shows.
            kwtest::TestClip clip;
            clip.size = QStringLiteral("1280x720");
            clip.seconds = QString::fromLatin1(seconds);
            clip.audioSampleRate = 44100;
            const QString error = kwtest::makeTestClip(s_dir->filePath(name), clip);
            if (!error.isEmpty()) {
                ADD_FAILURE() << error.toStdString();
            }
        }
    }

    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        if (!s_dir) {
            GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
        }
    }

    static QString path(const QString& name) { return s_dir->filePath(name); }

    static QJsonObject probe(const QString& file) {
        return QJsonDocument::fromJson(runTool(s_ffprobe, {"-v", "error", "-show_streams",
                                                           "-show_format", "-of", "json", file}))
            .object();
    }

    static QList<QJsonObject> streams(const QJsonObject& probed, const QString& codecType) {
        QList<QJsonObject> found;
        for (const QJsonValue& stream : probed["streams"].toArray()) {
            if (stream["codec_type"].toString() == codecType) {
                found << stream.toObject();
            }
        }
        return found;
    }

    // ffmpeg's last time figure trails the end by a few frames (25 fps).
    static void expectRisingToTheEnd(const std::vector<double>& fractions,
                                     std::optional<double> duration) {
        ASSERT_TRUE(duration);
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_GE(fractions.front(), 0.0);
        EXPECT_LE(fractions.back(), 1.0);
        EXPECT_GE(fractions.back(), 1.0 - 0.16 / *duration);
    }

    static inline QString s_ffmpeg;
    static inline QString s_ffprobe;
    static inline std::unique_ptr<QTemporaryDir> s_dir;
};

} // namespace

TEST_F(FFmpegRunnerRealTest, ProbeGivesTheClipDuration) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const std::optional<double> seconds = kwtest::runTask(runner.probeDuration(path("source.mp4")));
    ASSERT_TRUE(seconds);
    EXPECT_NEAR(*seconds, 3.0, 0.1);
    EXPECT_FALSE(kwtest::runTask(runner.probeDuration(path("no-such-file.mp4"))));
}

TEST_F(FFmpegRunnerRealTest, ThumbnailIsOneJpegFittedInside400) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const QString output = path("thumbnail.jpg");
    kwtest::runTask(runner.run(Inv(Inv::ThumbnailFrame50{path("source.mp4"), output}), 3.0, {}));
    const QList<QJsonObject> video = streams(probe(output), "video");
    ASSERT_EQ(video.size(), 1);
    EXPECT_EQ(video[0]["codec_name"].toString(), "mjpeg");
    const int width = video[0]["width"].toInt();
    const int height = video[0]["height"].toInt();
    EXPECT_EQ(std::max(width, height), 400);
    EXPECT_LE(std::min(width, height), 400);
    EXPECT_NEAR(double(width) / height, 16.0 / 9.0, 0.02);
}

TEST_F(FFmpegRunnerRealTest, PreviewIsFastStartH264At400LinesWithoutAudio) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const QString output = path("preview.mp4");
    const std::optional<double> duration =
        kwtest::runTask(runner.probeDuration(path("source.mp4")));
    std::vector<double> fractions;
    kwtest::runTask(runner.run(Inv(Inv::PreviewProxy400p{path("source.mp4"), output}), duration,
                               [&](double f) { fractions.push_back(f); }));
    const QJsonObject probed = probe(output);
    const QList<QJsonObject> video = streams(probed, "video");
    ASSERT_EQ(video.size(), 1);
    EXPECT_EQ(video[0]["codec_name"].toString(), "h264");
    EXPECT_EQ(video[0]["height"].toInt(), 400);
    EXPECT_EQ(video[0]["width"].toInt() % 2, 0);
    EXPECT_TRUE(streams(probed, "audio").isEmpty());
    const auto boxes = topLevelBoxes(output);
    ASSERT_TRUE(boxes.count("moov"));
    ASSERT_TRUE(boxes.count("mdat"));
    EXPECT_LT(boxes.at("moov"), boxes.at("mdat"));
    expectRisingToTheEnd(fractions, duration);
}

TEST_F(FFmpegRunnerRealTest, ProresMasterIs4kAt25WithAudioOnlyWhenKept) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const std::optional<double> duration = kwtest::runTask(runner.probeDuration(path("short.mp4")));
    for (const bool preserveAudio : {true, false}) {
        SCOPED_TRACE(preserveAudio);
        const QString output = path(preserveAudio ? "with-audio.mov" : "silent.mov");
        std::vector<double> fractions;
        kwtest::runTask(
            runner.run(Inv(Inv::ProresVideoToolbox{path("short.mp4"), output, preserveAudio}),
                       duration, [&](double f) { fractions.push_back(f); }));
        const QJsonObject probed = probe(output);
        const QList<QJsonObject> video = streams(probed, "video");
        ASSERT_EQ(video.size(), 1);
        EXPECT_EQ(video[0]["codec_name"].toString(), "prores");
        EXPECT_EQ(video[0]["profile"].toString(), "Proxy");
        EXPECT_EQ(video[0]["width"].toInt(), 3840);
        EXPECT_EQ(video[0]["height"].toInt(), 2160);
        EXPECT_EQ(video[0]["r_frame_rate"].toString(), "25/1");
        const QList<QJsonObject> audio = streams(probed, "audio");
        if (preserveAudio) {
            ASSERT_EQ(audio.size(), 1);
            EXPECT_EQ(audio[0]["codec_name"].toString(), "pcm_s16le");
            EXPECT_EQ(audio[0]["sample_rate"].toString(), "48000");
            EXPECT_EQ(audio[0]["channels"].toInt(), 2);
        } else {
            EXPECT_TRUE(audio.isEmpty());
        }
        expectRisingToTheEnd(fractions, duration);
    }
}

TEST_F(FFmpegRunnerRealTest, EncodersIncludeWhatTheRecipesNeed) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const QSet<QString> encoders = kwtest::runTask(runner.availableEncoders());
    EXPECT_TRUE(encoders.contains("libx264"));
    EXPECT_TRUE(encoders.contains("prores_aw"));
    EXPECT_TRUE(encoders.contains("pcm_s16le"));
}

TEST_F(FFmpegRunnerRealTest, FailedRunCarriesFfmpegsOwnMessage) {
    FFmpegRunner runner(s_ffmpeg, s_ffprobe);
    const QString missing = path("missing.mov");
    try {
        kwtest::runTask(
            runner.run(Inv(Inv::PreviewProxy400p{missing, path("never.mp4")}), std::nullopt, {}));
        ADD_FAILURE() << "run did not fail";
    } catch (const FFmpegRunner::ExecutionFailure& failure) {
        EXPECT_NE(failure.exitCode(), 0);
        EXPECT_TRUE(failure.stderrTail().contains("No such file or directory"))
            << failure.stderrTail().toStdString();
        EXPECT_FALSE(failure.stderrTail().endsWith(u'\n'));
    }
}
