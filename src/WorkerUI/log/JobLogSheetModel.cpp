#include "log/JobLogSheetModel.h"

#include "async/FileSystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

JobLogSheetModel::JobLogSheetModel(QString jobID, QString logDirectory)
    : m_jobID(std::move(jobID))
    , m_logDirectory(std::move(logDirectory))
    , m_content(loadingText()) {}

QString JobLogSheetModel::title() const {
    return QStringLiteral("Log for job ") + m_jobID;
}

void JobLogSheetModel::loadLines() {
    QStringList lines;
    try {
        lines = matchingLines(m_logDirectory, m_jobID);
    } catch (...) {
        lines.clear();
    }
    m_content = lines.isEmpty() ? noLinesText() : lines.join(QLatin1Char('\n'));
}

QStringList JobLogSheetModel::matchingLines(const QString& logDirectory, const QString& jobID) {
    const QDir directory(logDirectory);
    const QFileInfo info(logDirectory);
    // QDir lists nothing for a folder it cannot open; say why instead.
    if (!info.exists() || !info.isDir()) {
        throw FileSystemError(QStringLiteral("Cannot list"), logDirectory,
                              QStringLiteral("no such directory"));
    }
    if (!info.isReadable() || !info.isExecutable()) {
        throw FileSystemError(QStringLiteral("Cannot list"), logDirectory,
                              QStringLiteral("permission denied"));
    }
    QStringList names = directory.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& name) {
                                   return !name.startsWith(QLatin1String("worker-")) ||
                                          QFileInfo(name).suffix() != QLatin1String("log");
                               }),
                names.end());
    // Plain comparison of the names: with "worker-YYYY-MM-DD.log" this is date order.
    std::sort(names.begin(), names.end());

    const QString needle = QStringLiteral("job=") + jobID;
    QStringList kept;
    for (const QString& name : std::as_const(names)) {
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            continue;
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(bytes);
        if (decoder.hasError()) {
            continue;
        }
        const QStringList pieces = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : pieces) {
            if (line.contains(needle)) {
                kept.append(line);
            }
        }
    }
    return kept;
}

QString JobLogSheetModel::loadingText() {
    return QStringLiteral("Loading\u2026");
}

QString JobLogSheetModel::noLinesText() {
    return QStringLiteral("(no log lines for this job)");
}
