#include "JobSources.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <stdexcept>

namespace {

const QStringList knownTypes = {QStringLiteral("prores"), QStringLiteral("thumbnail"),
                                QStringLiteral("preview")};

[[noreturn]] void raise(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

} // namespace

QString JobSources::typeForFileName(const QString& fileName, const QString& defaultType) {
    for (const QString& type : knownTypes) {
        if (fileName.startsWith(type + u'-', Qt::CaseInsensitive)) {
            return type;
        }
    }
    return defaultType;
}

QList<DevServer::NewJob> JobSources::fromFolder(const QString& folder, const QString& defaultType,
                                                bool preserveAudio) {
    const QDir dir(folder);
    if (!dir.exists()) {
        raise(QStringLiteral("jobs folder does not exist: %1").arg(folder));
    }
    QList<DevServer::NewJob> jobs;
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Name)) {
        DevServer::NewJob job;
        job.sourcePath = file.absoluteFilePath();
        job.jobType = typeForFileName(file.fileName(), defaultType);
        job.preserveAudio = preserveAudio && job.jobType == u"prores";
        jobs.append(job);
    }
    return jobs;
}

QList<DevServer::NewJob> JobSources::generateSamples(int count, const QStringList& types,
                                                     const QString& folder, bool preserveAudio,
                                                     const QString& ffmpeg) {
    if (types.isEmpty()) {
        raise(QStringLiteral("no job types to generate"));
    }
    if (!QDir().mkpath(folder)) {
        raise(QStringLiteral("cannot create %1").arg(folder));
    }
    QList<DevServer::NewJob> jobs;
    for (int i = 0; i < count; ++i) {
        const QString type = types[i % types.size()];
        const QString name =
            QStringLiteral("%1-sample-%2.mp4").arg(type).arg(i + 1, 2, 10, QChar(u'0'));
        const QString path = QDir(folder).filePath(name);
        const QStringList arguments = {
            "-hide_banner",
            "-nostdin",
            "-loglevel",
            "error",
            "-y",
            "-f",
            "lavfi",
            "-i",
            "testsrc2=size=1280x720:rate=25:duration=3",
            "-f",
            "lavfi",
            "-i",
            QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=3").arg(440 + 110 * i),
            "-c:v",
            "libx264",
            "-preset",
            "ultrafast",
            "-pix_fmt",
            "yuv420p",
            "-c:a",
            "aac",
            "-shortest",
            "-movflags",
            "+faststart",
            path};
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(ffmpeg, arguments);
        // Start-up work of a command-line tool: blocking here holds up nothing else.
        if (!process.waitForStarted(-1)) {
            raise(QStringLiteral("cannot run %1: %2").arg(ffmpeg, process.errorString()));
        }
        process.waitForFinished(-1);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            raise(QStringLiteral("%1 failed making %2: %3")
                      .arg(ffmpeg, name, QString::fromLocal8Bit(process.readAll()).trimmed()));
        }
        DevServer::NewJob job;
        job.sourcePath = path;
        job.jobType = type;
        job.preserveAudio = preserveAudio && type == u"prores";
        jobs.append(job);
    }
    return jobs;
}
