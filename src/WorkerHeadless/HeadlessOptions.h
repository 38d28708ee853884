#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The command line of kestrel-workerd. Every flag overrides its setting for
// this run only.
struct HeadlessOptions {
    std::optional<QString> server;
    std::optional<QString> tokenFile;
    std::optional<QString> name;
    std::optional<qint64> concurrency;
    std::optional<qint64> pollInterval;
    std::optional<QString> scratch;
    QString ffmpeg;
    QString ffprobe;
    bool drain = false;
    bool version = false;
    bool help = false;

    // Throws std::invalid_argument with the one-line message for stderr.
    static HeadlessOptions parse(const QStringList& arguments);
    static QString usage();
    // The token-file content with one trailing "\n" or "\r\n" removed.
    static QString tokenFromFileContent(const QByteArray& content);
};
