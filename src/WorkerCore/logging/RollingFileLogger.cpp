#include "logging/RollingFileLogger.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTimeZone>
#include <unistd.h>

namespace {
const QString kPrefix = QStringLiteral("worker-");
const QString kDayFormat = QStringLiteral("yyyy-MM-dd");
const QLocale& posixLocale() {
    static const QLocale posix = QLocale::c();
    return posix;
}
} // namespace

RollingFileLogger::RollingFileLogger(QString directory, int retentionDays, QObject* parent)
    : QObject(parent)
    , m_directory(std::move(directory))
    , m_retentionDays(retentionDays) {
    // A folder that cannot be made only means no lines on disk.
    QDir().mkpath(m_directory);
}

RollingFileLogger::~RollingFileLogger() {
    // Closing errors have nowhere to go.
    m_file.close();
}

QString RollingFileLogger::dayText(const QDateTime& instant) {
    return posixLocale().toString(instant.toUTC().date(), kDayFormat);
}

QString RollingFileLogger::fileName(const QString& day) {
    return kPrefix + day + QStringLiteral(".log");
}

void RollingFileLogger::write(const LogEvent& event) {
    const QString day = dayText(event.timestamp);
    if (m_currentDateString != day) {
        openFile(day);
    }
    if (m_file.isOpen()) {
        // A failed write loses this line from the file only.
        m_file.write((event.formattedLine() + QLatin1Char('\n')).toUtf8());
    }
}

void RollingFileLogger::openFile(const QString& day) {
    m_file.close();
    const QString path = QDir(m_directory).filePath(fileName(day));
    m_file.setFileName(path);
    // Unbuffered so each line reaches the system at once and a crash loses nothing
    // already logged. Append creates the file if needed and keeps existing lines.
    // A failure leaves the file closed, and the day is still recorded so its later
    // events do not retry; the next day's first event tries again.
    m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    m_currentFile = path;
    m_currentDateString = day;
}

void RollingFileLogger::flush() {
    if (m_file.isOpen()) {
        // A failed sync is ignored: the data is still with the system.
        ::fsync(m_file.handle());
    }
}

void RollingFileLogger::pruneOldFiles() {
    pruneOldFiles(QDateTime::currentDateTimeUtc());
}

void RollingFileLogger::pruneOldFiles(const QDateTime& now) {
    // Days are counted in the user's calendar, as the operator reads them.
    const QDateTime cutoff = now.toLocalTime().addDays(-m_retentionDays);
    if (!cutoff.isValid()) {
        return;
    }
    // An unreadable folder lists as empty, which deletes nothing.
    const QFileInfoList entries =
        QDir(m_directory)
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!entry.fileName().startsWith(kPrefix)) {
            continue;
        }
        QString rest = entry.completeBaseName();
        rest.remove(kPrefix);
        const QDate day = QDate::fromString(rest, kDayFormat);
        if (!day.isValid()) {
            continue;
        }
        const QDateTime midnight(day, QTime(0, 0), QTimeZone::utc());
        if (midnight < cutoff) {
            // A file that will not go is simply tried again at the next prune.
            QFile::remove(entry.filePath());
        }
    }
}
