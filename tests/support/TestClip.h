#pragma once

#include <QString>

namespace kwtest {

// A generated source clip: H.264 test pattern at 25 fps, with a sine tone when
// `audioSampleRate` is set.
struct TestClip {
    QString size = QStringLiteral("320x240");
    QString seconds = QStringLiteral("3");
    int audioSampleRate = 0; // 0: no audio
};

// Writes the clip to `path` with the ffmpeg on PATH. Gives ffmpeg's error output
// when it fails, an empty text when it succeeds.
QString makeTestClip(const QString& path, const TestClip& clip = {});

} // namespace kwtest
