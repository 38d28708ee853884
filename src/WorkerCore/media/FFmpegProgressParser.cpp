#include "media/FFmpegProgressParser.h"

#include <QLocale>
#include <QRegularExpression>

std::optional<double> FFmpegProgressParser::parseSeconds(QStringView line) {
    static const QRegularExpression timePattern(
        QStringLiteral(R"(time=(\d+):(\d+):(\d+(\.\d+)?))"));
    const QRegularExpressionMatch match = timePattern.match(line);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QList<QStringView> parts = match.capturedView(0).mid(5).split(u':');
    if (parts.size() != 3) {
        return std::nullopt;
    }
    // ffmpeg writes a full stop whatever the locale; a part that does not parse counts as 0.
    const QLocale c = QLocale::c();
    const auto number = [&c](QStringView text) {
        bool ok = false;
        const double value = c.toDouble(text, &ok);
        return ok ? value : 0.0;
    };
    return number(parts[0]) * 3600 + number(parts[1]) * 60 + number(parts[2]);
}
