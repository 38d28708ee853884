// ffmpeg and ffprobe replaced by small shell scripts, for what the real tools
// cannot be made to do on cue: exact stderr chunks, ignored SIGTERM, outside
// kills, chosen exit codes, chosen probe output.
#include "RunTask.h"
#include "async/CancelledError.h"
#include "async/ProcessLaunchError.h"
#include "media/FFmpegRunner.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/types.h>

using namespace std::chrono_literals;

namespace {

using Inv = FFmpegInvocation;

class FFmpegRunnerFakeToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString file(const QString& name) const { return m_dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QString script(const QString& name, const QString& body) const {
        const QString path = file(name);
        writeFile(name, "#!/bin/sh\n" + body.toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // `cat` puts the file's bytes on stderr in one write.
    QString stderrChunkScript(const QByteArray& chunk, int exitCode) const {
        writeFile("chunk.bin", chunk);
        return script(
            "ffmpeg",
            QStringLiteral("cat '%1' >&2\nexit %2\n").arg(file("chunk.bin")).arg(exitCode));
    }

    Inv thumbnail() const { return Inv(Inv::ThumbnailFrame50{file("in.mov"), file("out.jpg")}); }

    QString readText(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    qint64 readPid(const QString& name) const { return readText(name).trimmed().toLongLong(); }

    static bool processGone(qint64 pid) { return ::kill(pid_t(pid), 0) == -1 && errno == ESRCH; }

    // Runs to the end and hands back the failure, or none when it succeeded.
    static std::optional<FFmpegRunner::ExecutionFailure> runForFailure(QCoro::Task<void> task) {
        try {
            kwtest::runTask(std::move(task));
        } catch (const FFmpegRunner::ExecutionFailure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    QTemporaryDir m_dir;
};

QString numberedLines(int first, int last) {
    QStringList lines;
    for (int i = first; i <= last; ++i) {
        lines << QStringLiteral("line %1").arg(i);
    }
    return lines.join(u'\n');
}

} // namespace

TEST_F(FFmpegRunnerFakeToolTest, TailKeepsTheLastFiftyLinesOfAFailure) {
    for (const int exitCode : {1, 0}) {
        SCOPED_TRACE(exitCode);
        const QString ffmpeg =
            script("ffmpeg", QStringLiteral("i=1\nwhile [ $i -le 200 ]; do echo \"line $i\" >&2; "
                                            "i=$((i+1)); done\nexit %1\n")
                                 .arg(exitCode));
        FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
        const auto failure = runForFailure(runner.run(thumbnail(), 10.0, {}));
        if (exitCode == 0) {
            EXPECT_FALSE(failure);
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->exitCode(), 1);
        EXPECT_FALSE(failure->terminatingSignal());
        EXPECT_EQ(failure->stderrTail(), numberedLines(151, 200));
        EXPECT_TRUE(failure->description().startsWith(
            "ExecutionFailure(exitCode: 1, stderrTail: \"line 151\\nline 152\\n"))
            << failure->description().toStdString();
        EXPECT_TRUE(failure->description().endsWith("line 200\")"));
    }
}

TEST_F(FFmpegRunnerFakeToolTest, OneChunkSplitsAtLineFeedsOnly) {
    struct Case {
        QByteArray chunk;
        QString tail;
    };
    const Case cases[] = {
        {"a\nb\n\nc", "a\nb\nc"},
        {"frame=1 time=00:00:01.00\rframe=2 time=00:00:02.00\r",
         "frame=1 time=00:00:01.00\rframe=2 time=00:00:02.00\r"},
        {"x\ry\n", "x\ry"},
        {"p\r\nq\r\n", "p\nq"},
        {"\n\n\n", ""},
        {"quote \" and backslash \\\n", "quote \" and backslash \\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk.toStdString());
        FFmpegRunner runner(stderrChunkScript(c.chunk, 1), "/nonexistent/ffprobe");
        const auto failure = runForFailure(runner.run(thumbnail(), 10.0, {}));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->stderrTail(), c.tail);
    }
}

TEST_F(FFmpegRunnerFakeToolTest, ChunksAreReadOneByOneAndInvalidUtf8IsDropped) {
    // The script waits for the test to have seen each chunk (through the
    // progress callback) before writing the next, so chunk borders are exact.
    const QString body =
        QStringLiteral(
            R"(waitfor() { n=0; while [ ! -e "$1" ] && [ $n -lt 1000 ]; do sleep 0.01; n=$((n+1)); done; }
printf 'time=00:00:01.00 par' >&2
waitfor '%1'
printf 'tial\ntime=00:00:02.00\n' >&2
waitfor '%2'
printf 'bad time=00:00:09.00 \377\n' >&2
exit 1
)")
            .arg(file("ack1"), file("ack2"));
    FFmpegRunner runner(script("ffmpeg", body), "/nonexistent/ffprobe");
    std::vector<double> fractions;
    const auto progress = [&](double fraction) {
        fractions.push_back(fraction);
        writeFile(QStringLiteral("ack%1").arg(fractions.size()), "");
    };
    const auto failure = runForFailure(runner.run(thumbnail(), 10.0, progress));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->stderrTail(), "time=00:00:01.00 par\ntial\ntime=00:00:02.00");
    EXPECT_EQ(fractions, (std::vector<double>{0.1, 0.2}));
}

TEST_F(FFmpegRunnerFakeToolTest, EveryTimeLineReportsAFraction) {
    struct Case {
        std::optional<double> duration;
        std::vector<double> fractions;
    };
    const Case cases[] = {
        {125.0, {0.5, 1.0}}, {1000.0, {0.0625, 0.3}}, {std::nullopt, {0.0, 0.0}},
        {0.0, {0.0, 0.0}},   {-4.0, {0.0, 0.0}},
    };
    const QString ffmpeg = stderrChunkScript(
        "Input #0, mov\nframe= 1 time=00:01:02.50 speed=1x\nframe= 2 time=00:05:00.00 speed=1x\n",
        0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.duration.value_or(-1));
        FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
        std::vector<double> fractions;
        kwtest::runTask(
            runner.run(thumbnail(), c.duration, [&](double f) { fractions.push_back(f); }));
        EXPECT_EQ(fractions, c.fractions);
    }
}

TEST_F(FFmpegRunnerFakeToolTest, ChildExitingAtOnceEndsTheWait) {
    for (const int exitCode : {0, 3}) {
        SCOPED_TRACE(exitCode);
        FFmpegRunner runner(script("ffmpeg", QStringLiteral("exit %1\n").arg(exitCode)),
                            "/nonexistent/ffprobe");
        const auto failure = runForFailure(runner.run(thumbnail(), std::nullopt, {}));
        if (exitCode == 0) {
            EXPECT_FALSE(failure);
        } else {
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->exitCode(), 3);
            EXPECT_EQ(failure->stderrTail(), "");
            EXPECT_EQ(failure->description(), "ExecutionFailure(exitCode: 3, stderrTail: \"\")");
        }
    }
}

TEST_F(FFmpegRunnerFakeToolTest, ArgumentsReachTheChildUnchangedWithTheEncoderFfmpegHas) {
    struct Case {
        const char* name;
        QByteArray encoderList;
        int listExitCode;
        QString expectedEncoder;
    };
    const Case cases[] = {
        {"hardware present",
         "Encoders:\n V..... = Video\n ------\n V....D prores_videotoolbox  VideoToolbox ProRes\n"
         " VF.... prores_aw            Apple ProRes (codec prores)\n",
         0, "prores_videotoolbox"},
        {"software only",
         "Encoders:\n V..... = Video\n ------\n VF.... prores_aw            Apple ProRes\n", 0,
         "prores_aw"},
        {"encoder probe fails", "", 1, "prores_aw"},
    };
    const QString input = file("in put \"it's\",1.mov");
    const QString output = file("out, 'put'.mov");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("list.txt", c.encoderList);
        const QString ffmpeg =
            script("ffmpeg", QStringLiteral("if [ \"$1\" = -hide_banner ] && [ \"$2\" = -encoders "
                                            "]; then cat '%1'; exit %2; fi\n"
                                            "printf '%s\\n' \"$@\" > '%3'\n")
                                 .arg(file("list.txt"))
                                 .arg(c.listExitCode)
                                 .arg(file("args.txt")));
        FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
        const Inv invocation(Inv::ProresVideoToolbox{input, output, true});
        kwtest::runTask(runner.run(invocation, 1.0, {}));
        QStringList expected = invocation.arguments();
        expected[3] = c.expectedEncoder;
        EXPECT_EQ(readText("args.txt"), expected.join(u'\n') + u'\n');
    }
}

TEST_F(FFmpegRunnerFakeToolTest, EncodersAreDetectedOncePerRunner) {
    const QString ffmpeg =
        script("ffmpeg", QStringLiteral("if [ \"$2\" = -encoders ]; then echo probe >> '%1'; "
                                        "sleep 0.2; echo ' ------'; echo ' VF.... prores_aw  x'; "
                                        "exit 0; fi\nexit 0\n")
                             .arg(file("count.txt")));
    const Inv invocation(Inv::ProresVideoToolbox{file("in.mov"), file("out.mov"), false});
    FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
    auto first = runner.run(invocation, 1.0, {});
    auto second = runner.run(invocation, 1.0, {});
    kwtest::runTask(std::move(first));
    kwtest::runTask(std::move(second));
    kwtest::runTask(runner.run(invocation, 1.0, {}));
    EXPECT_EQ(kwtest::runTask(runner.availableEncoders()), QSet<QString>{"prores_aw"});
    EXPECT_EQ(readText("count.txt"), "probe\n");

    // Another runner finds out for itself.
    FFmpegRunner other(ffmpeg, "/nonexistent/ffprobe");
    kwtest::runTask(other.run(invocation, 1.0, {}));
    EXPECT_EQ(readText("count.txt"), "probe\nprobe\n");
}

TEST_F(FFmpegRunnerFakeToolTest, CancellingKillsAChildThatIgnoresTerm) {
    const QString ffmpeg = script(
        "ffmpeg", QStringLiteral("trap '' TERM\necho $$ > '%1'\nexec sleep 30\n").arg(file("pid")));
    FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
    std::stop_source stop;
    auto task = runner.run(thumbnail(), 10.0, {}, stop.get_token());
    ASSERT_TRUE(kwtest::waitUntil([&] { return readPid("pid") > 0; }));
    const qint64 pid = readPid("pid");
    const auto begin = std::chrono::steady_clock::now();
    stop.request_stop();
    EXPECT_THROW(kwtest::runTask(std::move(task)), CancelledError);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(elapsed, 10s);
    // SIGTERM was ignored, so only the kill after the grace period ended it.
    EXPECT_GE(elapsed, 1500ms);
    EXPECT_TRUE(processGone(pid));
}

TEST_F(FFmpegRunnerFakeToolTest, CancellingIsACancellationEvenWhenTheChildExitsZero) {
    const QString ffmpeg = script(
        "ffmpeg", QStringLiteral("trap 'touch \"%2\"; kill $child 2>/dev/null; exit 0' TERM\n"
                                 "echo $$ > '%1'\nsleep 30 2>/dev/null &\nchild=$!\nwait\n")
                      .arg(file("pid"), file("terminated")));
    FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
    std::stop_source stop;
    auto task = runner.run(thumbnail(), 10.0, {}, stop.get_token());
    ASSERT_TRUE(kwtest::waitUntil([&] { return readPid("pid") > 0; }));
    stop.request_stop();
    EXPECT_THROW(kwtest::runTask(std::move(task)), CancelledError);
    EXPECT_TRUE(QFile::exists(file("terminated")));
}

TEST_F(FFmpegRunnerFakeToolTest, AlreadyStoppedRunFailsWithoutStartingTheChild) {
    FFmpegRunner runner(
        script("ffmpeg", QStringLiteral("touch '%1'\nexit 0\n").arg(file("started"))),
        "/nonexistent/ffprobe");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(kwtest::runTask(runner.run(thumbnail(), 10.0, {}, stop.get_token())),
                 CancelledError);
    EXPECT_THROW(kwtest::runTask(runner.probeDuration(file("in.mov"), stop.get_token())),
                 CancelledError);
    EXPECT_FALSE(QFile::exists(file("started")));
}

TEST_F(FFmpegRunnerFakeToolTest, ChildKilledFromOutsideReportsSignalExitCode) {
    const QString ffmpeg =
        script("ffmpeg",
               QStringLiteral("echo before >&2\necho $$ > '%1'\nexec sleep 30\n").arg(file("pid")));
    FFmpegRunner runner(ffmpeg, "/nonexistent/ffprobe");
    auto task = runner.run(thumbnail(), 10.0, {});
    ASSERT_TRUE(kwtest::waitUntil([&] { return readPid("pid") > 0; }));
    ASSERT_EQ(::kill(pid_t(readPid("pid")), SIGKILL), 0);
    const auto failure = runForFailure(std::move(task));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->exitCode(), 128 + SIGKILL);
    EXPECT_EQ(failure->terminatingSignal(), SIGKILL);
    EXPECT_EQ(failure->stderrTail(), "before");
    EXPECT_EQ(failure->description(),
              "ExecutionFailure(exitCode: 137, killed by signal 9, stderrTail: \"before\")");
}

TEST_F(FFmpegRunnerFakeToolTest, ExecutableThatCannotStartFailsAtOnce) {
    writeFile("not-executable", "#!/bin/sh\nexit 0\n");
    const QString paths[] = {file("missing/ffmpeg"), file("not-executable")};
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        FFmpegRunner runner(path, path);
        const auto begin = std::chrono::steady_clock::now();
        try {
            // The ProRes recipe also runs the encoder detection first.
            kwtest::runTask(runner.run(
                Inv(Inv::ProresVideoToolbox{file("in.mov"), file("out.mov"), false}), 1.0, {}));
            ADD_FAILURE() << "run did not fail";
        } catch (const ProcessLaunchError& error) {
            EXPECT_EQ(error.program(), path);
            EXPECT_FALSE(error.platformText().isEmpty());
            EXPECT_TRUE(error.description().contains(error.platformText()));
        }
        EXPECT_THROW(kwtest::runTask(runner.probeDuration(file("in.mov"))), ProcessLaunchError);
        // Far below QCoro's 30 s start timeout.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    }
}

TEST_F(FFmpegRunnerFakeToolTest, ProbeReadsABareNumberWhateverTheLocale) {
    struct GermanLocale {
        QLocale previous;
        GermanLocale() {
            QLocale::setDefault(QLocale(QLocale::German));
            // Only where the machine has it; Qt's default locale is German regardless.
            std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        }
        ~GermanLocale() {
            std::setlocale(LC_NUMERIC, "C");
            QLocale::setDefault(previous);
        }
    } german;
    ASSERT_EQ(QLocale().decimalPoint(), ",");

    struct Case {
        QByteArray output;
        int exitCode;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"12.345000\n", 0, 12.345},
        {"  7.5 \n\n", 0, 7.5},
        {"4.5\n", 1, 4.5},
        {"", 0, std::nullopt},
        {"N/A\n", 0, std::nullopt},
        {"12,345\n", 0, std::nullopt},
        {"1,234.5\n", 0, std::nullopt},
        {"3.0 seconds\n", 0, std::nullopt},
        {"3.0\n4.0\n", 0, std::nullopt},
        {"\xff\n", 0, std::nullopt},
    };
    const QString source = file("source, \"clip\".mov");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.toStdString());
        writeFile("probe.out", c.output);
        const QString ffprobe =
            script("ffprobe", QStringLiteral("printf '%s\\n' \"$@\" > '%1'\ncat '%2'\nexit %3\n")
                                  .arg(file("probe-args.txt"), file("probe.out"))
                                  .arg(c.exitCode));
        FFmpegRunner runner("/nonexistent/ffmpeg", ffprobe);
        const std::optional<double> seconds = kwtest::runTask(runner.probeDuration(source));
        ASSERT_EQ(seconds.has_value(), c.seconds.has_value());
        if (seconds) {
            EXPECT_DOUBLE_EQ(*seconds, *c.seconds);
        }
        EXPECT_EQ(readText("probe-args.txt"),
                  FFmpegInvocation::probeArguments(source).join(u'\n') + u'\n');
    }
}

TEST(FFmpegRunnerEncoderListTest, ReadsNamesAfterTheRule) {
    const QString text = QStringLiteral("Encoders:\n"
                                        " V..... = Video\n"
                                        " A..... = Audio\n"
                                        " ------\n"
                                        " V....D a64multi             Multicolor charset\n"
                                        " VF.... prores_aw            Apple ProRes (codec prores)\n"
                                        " A....D pcm_s16le            PCM signed 16-bit\n"
                                        " S..... ass                  ASS subtitle\n"
                                        "\n");
    EXPECT_EQ(FFmpegRunner::parseEncoderList(text),
              (QSet<QString>{"a64multi", "prores_aw", "pcm_s16le", "ass"}));
    EXPECT_TRUE(FFmpegRunner::parseEncoderList(QStringLiteral("Unknown option\n")).isEmpty());
}
