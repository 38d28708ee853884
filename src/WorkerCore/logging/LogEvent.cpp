#include "logging/LogEvent.h"

#include <QLocale>
#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<LogEvent::Level, const char*>, 4> kLevels{{
    {LogEvent::Level::debug, "debug"},
    {LogEvent::Level::info, "info"},
    {LogEvent::Level::warn, "warn"},
    {LogEvent::Level::error, "error"},
}};
} // namespace

QString LogEvent::toString(Level level) {
    for (const auto& [value, text] : kLevels) {
        if (value == level) {
            return QString::fromLatin1(text);
        }
    }
    return {};
}

std::optional<LogEvent::Level> LogEvent::levelFromString(const QString& text) {
    for (const auto& [value, raw] : kLevels) {
        if (text == QLatin1String(raw)) {
            return value;
        }
    }
    return std::nullopt;
}

QString LogEvent::formattedLine() const {
    // The C locale keeps the digits ASCII whatever the user's locale.
    static const QLocale posix = QLocale::c();
    QString line =
        posix.toString(timestamp.toUTC(), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
    line += QLatin1String(" [");
    line += toString(level).toUpper();
    line += QLatin1String("] ");
    line += category;
    if (jobID) {
        line += QLatin1String(" job=");
        line += *jobID;
    }
    line += QLatin1String(": ");
    line += message;
    return line;
}
