#pragma once

#include <QString>
#include <QStringList>

// The non-visual part of the job log sheet: every line of the daily log files
// that mentions one job, read once when the sheet opens. The reads are
// synchronous (the files are a few days of text lines).
class JobLogSheetModel {
public:
    JobLogSheetModel(QString jobID, QString logDirectory);

    const QString& jobID() const { return m_jobID; }
    const QString& logDirectory() const { return m_logDirectory; }
    // "Loading…" until loadLines() has run, then the lines or the empty-state text.
    const QString& content() const { return m_content; }
    // "Log for job " + the job id.
    QString title() const;

    // Reads the files and sets content(): the matching lines joined by line
    // feeds, or "(no log lines for this job)" when there are none or the
    // directory cannot be listed. Never throws.
    void loadLines();

    // The lines of `logDirectory`'s "worker-*.log" files, oldest file first
    // (by name), that contain "job=" + `jobID` (case-sensitive substring: a
    // longer id that begins with `jobID` matches too). Empty lines are dropped.
    // A file that cannot be read or is not valid UTF-8 is skipped. Throws
    // FileSystemError when the directory cannot be listed.
    static QStringList matchingLines(const QString& logDirectory, const QString& jobID);

    static QString loadingText();
    static QString noLinesText();

private:
    QString m_jobID;
    QString m_logDirectory;
    QString m_content;
};
