#include "TestClip.h"

#include <QProcess>

namespace kwtest {

QString makeTestClip(const QString& path, const TestClip& clip) {
    QStringList arguments = {
        "-hide_banner", "-nostdin", "-loglevel",
        "error",        "-y",       "-f",
        "lavfi",        "-i",       QStringLiteral("testsrc2=size=%1:rate=25").arg(clip.size)};
    if (clip.audioSampleRate > 0) {
        arguments << "-f"
                  << "lavfi"
                  << "-i"
                  << QStringLiteral("sine=frequency=440:sample_rate=%1").arg(clip.audioSampleRate)
                  << "-c:a"
                  << "aac";
    }
    arguments << "-t" << clip.seconds << "-c:v"
              << "libx264"
              << "-preset"
              << "ultrafast"
              << "-pix_fmt"
              << "yuv420p" << path;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(120000)) {
        return QStringLiteral("ffmpeg did not finish: ") + ffmpeg.errorString();
    }
    if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        const QString output = QString::fromLocal8Bit(ffmpeg.readAll());
        return output.isEmpty() ? QStringLiteral("ffmpeg failed") : output;
    }
    return {};
}

} // namespace kwtest
