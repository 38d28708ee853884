#pragma once

#include "DevServer.h"

#include <QList>
#include <QString>
#include <QStringList>

// Where the development server's jobs come from: a folder of source files, or
// sample clips made on the spot with ffmpeg. Failures throw std::runtime_error.
class JobSources {
public:
    // "prores-", "thumbnail-" or "preview-" at the start of the name picks the
    // type; any other name gets the default.
    static QString typeForFileName(const QString& fileName, const QString& defaultType);

    // Every regular file of the folder, by name; hidden files are skipped.
    // preserveAudio applies to the prores jobs.
    static QList<DevServer::NewJob> fromFolder(const QString& folder, const QString& defaultType,
                                               bool preserveAudio);

    // `count` clips of about three seconds (1280x720, 25 fps, a sine tone),
    // written into `folder`, their types cycling through `types`.
    static QList<DevServer::NewJob>
    generateSamples(int count, const QStringList& types, const QString& folder, bool preserveAudio,
                    const QString& ffmpeg = QStringLiteral("ffmpeg"));
};
