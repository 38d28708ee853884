#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>
#include <optional>

// One operational event, as held by the log store and written to the day files.
struct LogEvent {
    // Declaration order is the order of severity; filters compare with it.
    enum class Level { debug, info, warn, error };

    QUuid id;
    QDateTime timestamp;
    Level level = Level::info;
    QString category;
    QString message;
    std::optional<QString> jobID;

    bool operator==(const LogEvent&) const = default;

    // "2025-03-07T09:00:00.500Z [WARN] poll job=j1: x" — nothing is escaped, so a
    // message with a line feed stays multi-line.
    QString formattedLine() const;

    static QString toString(Level level);
    // Exactly the four lower-case texts; anything else gives none.
    static std::optional<Level> levelFromString(const QString& text);
};

Q_DECLARE_METATYPE(LogEvent)
