#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// "About Kestrel Worker": the name, the rights holder, the ffmpeg notice for the
// build in use, and the other components with their licences.
class AboutPanel {
public:
    struct Run {
        QString text;
        int pointSize;
        bool bold;
    };

    // True when `ffmpegPath` is the copy installed with the application rather
    // than the system's package.
    static bool isBundledFFmpeg(const QString& ffmpegPath);
    // The six runs, in order.
    static QList<Run> credits(const QString& ffmpegPath);
    static QString creditsHtml(const QString& ffmpegPath);

    // Opens the panel without blocking and brings it to the front; it deletes
    // itself when closed.
    static QMessageBox* show(const QString& ffmpegPath, QWidget* parent = nullptr);
};
