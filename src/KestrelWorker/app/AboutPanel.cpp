#include "AboutPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

bool AboutPanel::isBundledFFmpeg(const QString& ffmpegPath) {
    const QString bundledDirectory = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                     QStringLiteral("/../libexec/kestrel-worker"));
    return QFileInfo(ffmpegPath).absolutePath() == bundledDirectory;
}

QList<AboutPanel::Run> AboutPanel::credits(const QString& ffmpegPath) {
    const bool bundled = isBundledFFmpeg(ffmpegPath);
    QString notice;
    if (bundled) {
        notice = QStringLiteral(
            "Kestrel Worker carries the ffmpeg and ffprobe executables (%1), built and "
            "distributed by the provider of this installation's bundled build, configured "
            "with \"--enable-gpl --enable-version3\" and therefore licensed under the GNU "
            "General Public License version 3 or any later version.\n\n"
            "The rights in ffmpeg belong to the FFmpeg developers. The full text of the GPLv3 "
            "is published at https://www.gnu.org/licenses/gpl-3.0.html.\n\n"
            "The corresponding source for the included build is the provider's build recipe "
            "together with the upstream FFmpeg source at https://ffmpeg.org/download.html.\n");
    } else {
        notice = QStringLiteral(
            "Kestrel Worker runs the ffmpeg and ffprobe executables of this computer's FFmpeg "
            "package (%1), built and distributed by the Debian project, configured with "
            "\"--enable-gpl\" and therefore licensed under the GNU General Public License "
            "version 2 or any later version.\n\n"
            "The rights in ffmpeg belong to the FFmpeg developers. The full text of the GPL is "
            "published at https://www.gnu.org/licenses/ and in /usr/share/common-licenses.\n\n"
            "The corresponding source is Debian's ffmpeg source package (apt-get source "
            "ffmpeg, or https://sources.debian.org/src/ffmpeg/) with the upstream FFmpeg "
            "source at https://ffmpeg.org/download.html.\n");
    }
    notice = notice.arg(ffmpegPath.isEmpty() ? QStringLiteral("not found") : ffmpegPath);
    return {
        {QStringLiteral("Kestrel Worker\n"), 13, true},
        {QStringLiteral("© 2026 Talmark. All rights reserved.\n\n"), 11, false},
        {bundled ? QStringLiteral("Bundled ffmpeg\n") : QStringLiteral("ffmpeg\n"), 12, true},
        {notice, 11, false},
        {QStringLiteral("Other components\n"), 12, true},
        {QStringLiteral("• SQLiteCpp, by Sébastien Rombauts — MIT licence\n"
                        "• QCoro, by Daniel Vrátil — MIT licence\n"
                        "• QtKeychain, by Frank Osterfeld and contributors — BSD 3-clause "
                        "licence\n"
                        "• Qt, by The Qt Company and contributors — LGPL version 3\n"),
         11, false},
    };
}

QString AboutPanel::creditsHtml(const QString& ffmpegPath) {
    QString html;
    for (const Run& run : credits(ffmpegPath)) {
        html +=
            QStringLiteral("<span style=\"font-size:%1pt;%2\">%3</span>")
                .arg(run.pointSize)
                .arg(run.bold ? QStringLiteral(" font-weight:bold;") : QString())
                .arg(run.text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    }
    return html;
}

QMessageBox* AboutPanel::show(const QString& ffmpegPath, QWidget* parent) {
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("about"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("About Kestrel Worker"));
    box->setIconPixmap(
        QIcon::fromTheme(QStringLiteral("com.talmark.KestrelWorker")).pixmap(64, 64));
    box->setTextFormat(Qt::RichText);
    box->setText(creditsHtml(ffmpegPath));
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
    box->raise();
    box->activateWindow();
    return box;
}
