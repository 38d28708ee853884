#include "HeadlessOptions.h"

#include <QUrl>
#include <stdexcept>

namespace {

qint64 boundedInteger(const QString& flag, const QString& text, qint64 low, qint64 high) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high) {
        throw std::invalid_argument(
            QStringLiteral("kestrel-workerd: %1 must be a whole number from %2 to %3, not \"%4\"")
                .arg(flag)
                .arg(low)
                .arg(high)
                .arg(text)
                .toStdString());
    }
    return value;
}

} // namespace

QString HeadlessOptions::usage() {
    return QStringLiteral(
        "Usage: kestrel-workerd [--server URL] [--token-file FILE] [--name NAME] [--concurrency "
        "N]\n"
        "                       [--poll-interval SECONDS] [--scratch DIR] [--ffmpeg PATH] "
        "[--ffprobe PATH]\n"
        "                       [--drain] [--version] [--help]\n"
        "Runs the Kestrel transcoding worker without a desktop. Flags override the stored "
        "settings\n"
        "for this run only. Token: --token-file, else $KESTREL_WORKER_TOKEN, else the keyring.\n"
        "  --drain   exit 0 once the server has no job and none is in flight\n"
        "Signals: SIGTERM/SIGINT report jobs in flight as failed and exit; SIGQUIT lets them "
        "finish.\n");
}

QString HeadlessOptions::tokenFromFileContent(const QByteArray& content) {
    QByteArray token = content;
    if (token.endsWith("\r\n")) {
        token.chop(2);
    } else if (token.endsWith('\n')) {
        token.chop(1);
    }
    return QString::fromUtf8(token);
}

HeadlessOptions HeadlessOptions::parse(const QStringList& arguments) {
    HeadlessOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString flag = arguments[i];
        std::optional<QString> inlineValue;
        if (const qsizetype eq = flag.indexOf(QLatin1Char('=')); flag.startsWith("--") && eq > 0) {
            inlineValue = flag.mid(eq + 1);
            flag = flag.left(eq);
        }
        auto value = [&]() -> QString {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= arguments.size()) {
                throw std::invalid_argument(
                    QStringLiteral("kestrel-workerd: %1 needs a value").arg(flag).toStdString());
            }
            return arguments[++i];
        };
        if (flag == "--server") {
            options.server = value();
        } else if (flag == "--token-file") {
            options.tokenFile = value();
        } else if (flag == "--name") {
            options.name = value();
        } else if (flag == "--concurrency") {
            options.concurrency = boundedInteger(flag, value(), 1, 64);
        } else if (flag == "--poll-interval") {
            options.pollInterval = boundedInteger(flag, value(), 1, 3600);
        } else if (flag == "--scratch") {
            options.scratch = value();
        } else if (flag == "--ffmpeg") {
            options.ffmpeg = value();
        } else if (flag == "--ffprobe") {
            options.ffprobe = value();
        } else if (flag == "--drain") {
            options.drain = true;
        } else if (flag == "--version") {
            options.version = true;
        } else if (flag == "--help" || flag == "-h") {
            options.help = true;
        } else {
            throw std::invalid_argument(
                QStringLiteral("kestrel-workerd: unknown option %1 (see --help)")
                    .arg(flag)
                    .toStdString());
        }
    }
    if (options.server) {
        const QUrl url(*options.server, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") ||
            url.host().isEmpty()) {
            throw std::invalid_argument(
                QStringLiteral("kestrel-workerd: --server must be an http or https URL, not \"%1\"")
                    .arg(*options.server)
                    .toStdString());
        }
    }
    return options;
}
