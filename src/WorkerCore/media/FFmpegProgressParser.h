#pragma once

#include <QStringView>
#include <optional>

// Reads the "time=" figure of ffmpeg's status lines.
namespace FFmpegProgressParser {

// Seconds of the first "time=H:M:S[.f]" in `line`, or none (also for "time=N/A").
std::optional<double> parseSeconds(QStringView line);

} // namespace FFmpegProgressParser
