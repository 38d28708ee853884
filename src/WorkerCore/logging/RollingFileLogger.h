#pragma once

#include "logging/LogEvent.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <optional>

// Appends each event's line to the file of its UTC day, "worker-yyyy-MM-dd.log",
// inside one directory, and deletes day files past a retention period.
//
// Not thread-safe: every call must come from the thread the object lives on.
// LogStore runs it on a thread of its own so that logging never waits for the disk.
//
// No operation reports an error: a log that cannot reach the disk must never stop the
// agent, and the events stay in the store's memory and reach its subscribers anyway.
class RollingFileLogger : public QObject {
    Q_OBJECT

public:
    RollingFileLogger(QString directory, int retentionDays, QObject* parent = nullptr);
    ~RollingFileLogger() override;

    void write(const LogEvent& event);
    // Asks the system to push the open file to the disk.
    void flush();
    // Deletes day files whose UTC midnight is earlier than now minus the retention.
    void pruneOldFiles();
    void pruneOldFiles(const QDateTime& now);

    // "yyyy-MM-dd" of the instant's UTC day, whatever the local time zone.
    static QString dayText(const QDateTime& instant);
    static QString fileName(const QString& day);

    const QString& directory() const { return m_directory; }
    std::optional<QString> currentFile() const { return m_currentFile; }

private:
    void openFile(const QString& day);

    QString m_directory;
    int m_retentionDays;
    std::optional<QString> m_currentFile;
    std::optional<QString> m_currentDateString;
    QFile m_file{this}; // a child, so it moves to the writer thread with the logger
};
