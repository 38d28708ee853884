// kestrel-devserver: a development Kestrel server on 127.0.0.1. See --help.

#include "DevServer.h"
#include "JobSources.h"
#include "SignalPipe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

[[noreturn]] void usageError(const QString& message) {
    err() << "kestrel-devserver: " << message << Qt::endl;
    std::exit(2);
}

QString cell(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined()) {
        return QStringLiteral("-");
    }
    if (value.isDouble()) {
        return QString::number(value.toInteger());
    }
    return value.toString();
}

void printTable(const QJsonObject& summary) {
    const QStringList columns = {"id",           "type",        "state",
                                 "file_name",    "output_size", "conversion_duration_seconds",
                                 "error_message"};
    const QStringList headings = {"ID",           "TYPE",    "STATE", "FILE",
                                  "OUTPUT BYTES", "SECONDS", "ERROR"};
    QList<QStringList> rows;
    for (const QJsonValue& job : summary.value("jobs").toArray()) {
        QStringList row;
        for (const QString& column : columns) {
            row.append(cell(job.toObject().value(column)));
        }
        rows.append(row);
    }
    QList<qsizetype> widths;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        qsizetype width = headings[c].size();
        for (const QStringList& row : rows) {
            width = std::max(width, row[c].size());
        }
        widths.append(width);
    }
    auto printRow = [&](const QStringList& row) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        }
        out() << line << '\n';
    };
    out() << "summary:\n";
    printRow(headings);
    for (const QStringList& row : rows) {
        printRow(row);
    }
    const QJsonObject counts = summary.value("counts").toObject();
    out() << "completed " << counts.value("completed").toInt() << ", failed "
          << counts.value("failed").toInt() << ", unfinished "
          << counts.value("queued").toInt() + counts.value("claimed").toInt() +
                 counts.value("in_progress").toInt()
          << Qt::endl;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A development Kestrel server: the worker API on 127.0.0.1 with a job queue "
                       "from a folder or from generated sample clips."));
    parser.addHelpOption();
    const QCommandLineOption portOption("port", "Port to listen on; 0 picks a free one.", "N", "0");
    const QCommandLineOption tokenOption("token", "The worker token clients must send (required).",
                                         "TOKEN");
    const QCommandLineOption jobsDirOption(
        "jobs-dir",
        "Every regular file in DIR becomes a job; a name starting with prores-, thumbnail- "
        "or preview- selects the type.",
        "DIR");
    const QCommandLineOption defaultTypeOption(
        "default-type", "Type of jobs-dir files without a type prefix.", "TYPE", "preview");
    const QCommandLineOption preserveAudioOption("preserve-audio",
                                                 "Ask prores jobs to keep their audio.");
    const QCommandLineOption generateOption(
        "generate", "Generate N sample clips with ffmpeg as jobs.", "N", "0");
    const QCommandLineOption generateTypesOption(
        "generate-types", "Comma-separated job types the generated clips cycle through.", "TYPES",
        "prores,thumbnail,preview");
    const QCommandLineOption workDirOption(
        "work-dir", "Folder for generated clips (default: a temporary folder removed at exit).",
        "DIR");
    const QCommandLineOption outputDirOption(
        "output-dir",
        "Uploads are stored here as <job id>-<file name> (default: a new temporary folder, kept).",
        "DIR");
    const QCommandLineOption exitWhenDoneOption("exit-when-done",
                                                "Exit 0 once every job is completed or failed.");
    const QCommandLineOption summaryOption(
        "summary", "Write a JSON summary of all jobs to FILE at exit.", "FILE");
    const QCommandLineOption ffmpegOption("ffmpeg", "The ffmpeg used to generate clips.", "PATH",
                                          "ffmpeg");
    parser.addOptions({portOption, tokenOption, jobsDirOption, defaultTypeOption,
                       preserveAudioOption, generateOption, generateTypesOption, workDirOption,
                       outputDirOption, exitWhenDoneOption, summaryOption, ffmpegOption});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        usageError(QStringLiteral("--port wants a number from 0 to 65535"));
    }
    const QString token = parser.value(tokenOption);
    if (token.isEmpty()) {
        usageError(QStringLiteral("--token is required"));
    }
    if (token.trimmed() != token || token.contains(u'\r') || token.contains(u'\n')) {
        // Header values lose surrounding white space on the wire; such a token could never match.
        usageError(QStringLiteral("--token must not start or end with white space"));
    }
    const int generate = parser.value(generateOption).toInt(&ok);
    if (!ok || generate < 0) {
        usageError(QStringLiteral("--generate wants a count"));
    }
    QStringList generateTypes = parser.value(generateTypesOption).split(u',', Qt::SkipEmptyParts);
    for (QString& type : generateTypes) {
        type = type.trimmed();
    }

    QString outputDir = parser.value(outputDirOption);
    if (outputDir.isEmpty()) {
        QTemporaryDir kept(
            QDir::temp().filePath(QStringLiteral("kestrel-devserver-output-XXXXXX")));
        kept.setAutoRemove(false);
        outputDir = kept.path();
    }
    std::optional<QTemporaryDir> temporaryWork;
    QString workDir = parser.value(workDirOption);
    if (generate > 0 && workDir.isEmpty()) {
        temporaryWork.emplace(
            QDir::temp().filePath(QStringLiteral("kestrel-devserver-clips-XXXXXX")));
        workDir = temporaryWork->path();
    }

    DevServer server({.token = token, .outputDir = outputDir});
    try {
        if (parser.isSet(jobsDirOption)) {
            for (DevServer::NewJob& job : JobSources::fromFolder(
                     parser.value(jobsDirOption), parser.value(defaultTypeOption),
                     parser.isSet(preserveAudioOption))) {
                server.addJob(std::move(job));
            }
        }
        if (generate > 0) {
            err() << "generating " << generate << " sample clips in " << workDir << Qt::endl;
            for (DevServer::NewJob& job : JobSources::generateSamples(
                     generate, generateTypes, workDir, parser.isSet(preserveAudioOption),
                     parser.value(ffmpegOption))) {
                server.addJob(std::move(job));
            }
        }
    } catch (const std::exception& error) {
        err() << "kestrel-devserver: " << error.what() << Qt::endl;
        return 1;
    }

    if (!server.listen(quint16(port))) {
        err() << "kestrel-devserver: cannot listen on 127.0.0.1:" << port << ": "
              << server.errorString() << Qt::endl;
        return 1;
    }
    out() << "listening on " << server.baseUrl().toString() << Qt::endl;
    for (const DevJob& job : server.jobs()) {
        out() << "job " << job.id << ' ' << job.jobType << ' ' << job.fileName
              << (job.preserveAudio ? " (preserve audio)" : "") << '\n';
    }
    out() << "uploads go to " << server.outputDir() << Qt::endl;

    const QString summaryPath = parser.value(summaryOption);
    bool finishing = false;
    auto finish = [&](int code, const QString& reason) {
        if (finishing) {
            return;
        }
        finishing = true;
        const QJsonObject summary = server.summary();
        printTable(summary);
        if (!summaryPath.isEmpty()) {
            QJsonObject file = summary;
            file.insert("base_url", server.baseUrl().toString());
            file.insert("output_dir", server.outputDir());
            file.insert("exit_reason", reason);
            QSaveFile saved(summaryPath);
            if (!saved.open(QIODevice::WriteOnly) ||
                saved.write(QJsonDocument(file).toJson(QJsonDocument::Indented)) < 0 ||
                !saved.commit()) {
                err() << "kestrel-devserver: cannot write " << summaryPath << ": "
                      << saved.errorString() << Qt::endl;
                code = code == 0 ? 1 : code;
            }
        }
        QCoreApplication::exit(code);
    };

    const bool exitWhenDone = parser.isSet(exitWhenDoneOption);
    QObject::connect(&server, &DevServer::requestHandled, &app, [&](const QString& line) {
        out() << line << Qt::endl;
        // Checked once an answer is fully out, so the last /complete/ reaches its client.
        if (exitWhenDone && server.allJobsFinished()) {
            finish(0, QStringLiteral("all jobs finished"));
        }
    });
    QObject::connect(&server, &DevServer::jobFinished, &app, [&](const QString& id) {
        const std::optional<DevJob> job = server.job(id);
        if (job) {
            out() << "job " << id << ' ' << DevJob::toString(job->state)
                  << (job->errorMessage ? ": " + *job->errorMessage : QString()) << Qt::endl;
        }
    });

    SignalPipe signalPipe({SIGINT, SIGTERM});
    QObject::connect(&signalPipe, &SignalPipe::signalReceived, &app, [&](int number) {
        finish(0, number == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
    });

    if (exitWhenDone && server.allJobsFinished()) {
        QMetaObject::invokeMethod(
            &app, [&] { finish(0, QStringLiteral("no jobs")); }, Qt::QueuedConnection);
    }
    return app.exec();
}
