#include "media/FFmpegProgressParser.h"

#include <QString>
#include <gtest/gtest.h>

TEST(FFmpegProgressParserTest, ParsesTheFirstTimeFigure) {
    struct Case {
        const char* line;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"frame=  100 fps=25 q=-1.0 size=N/A time=00:01:02.50 bitrate=N/A speed=1x", 62.5},
        {"size=     256kB time=00:00:03 bitrate= 699.1kbits/s", 3.0},
        {"time=01:00:00.25", 3600.25},
        {"time=123:04:05.5 hours beyond 99", 123 * 3600 + 4 * 60 + 5.5},
        {"time=00:00:01.00 then time=00:00:09.00", 1.0},
        {"frame=0 time=N/A bitrate=N/A", std::nullopt},
        {"time=N/A then time=00:00:02.00", 2.0},
        {"Stream #0:0: Video: h264, 1280x720", std::nullopt},
        {"", std::nullopt},
        {"time=00:01", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const QString line = QString::fromUtf8(c.line);
        const std::optional<double> seconds = FFmpegProgressParser::parseSeconds(line);
        ASSERT_EQ(seconds.has_value(), c.seconds.has_value());
        if (seconds) {
            EXPECT_DOUBLE_EQ(*seconds, *c.seconds);
        }
    }
}
