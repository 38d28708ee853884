#include "config/Settings.h"

#include "api/UuidText.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTextStream>
#include <unistd.h>

namespace {

const QString kDefaultMachineInfoPath = QStringLiteral("/etc/machine-info");

// Undoes the shell-style quoting machine-info(5) allows: one pair of single or
// double quotes around the value, backslash escapes inside double quotes or bare.
QString unquoteShellValue(const QString& raw) {
    const QString text = raw.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('\'')) &&
        text.endsWith(QLatin1Char('\''))) {
        return text.mid(1, text.size() - 2);
    }
    QString body = text;
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))) {
        body = text.mid(1, text.size() - 2);
    }
    QString result;
    result.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body.at(i) == QLatin1Char('\\') && i + 1 < body.size()) {
            ++i;
        }
        result.append(body.at(i));
    }
    return result;
}

} // namespace

Settings Settings::makeDefault() {
    Settings settings;
    settings.serverURL = QUrl(QStringLiteral(KW_DEFAULT_SERVER_URL));
    settings.workerName = defaultWorkerName();
    settings.workerID = QUuid::createUuid();
    settings.pollInterval = 10;
    settings.maxConcurrency = defaultConcurrency(activeCoreCount());
    settings.scratchDirectory = std::nullopt;
    settings.autoStartPollingOnLaunch = true;
    settings.launchAtLogin = false;
    settings.hideDockIcon = false;
    return settings;
}

QString Settings::effectiveScratchDirectory() const {
    return scratchDirectory ? *scratchDirectory : defaultScratchDirectory();
}

QString Settings::defaultScratchDirectory() {
    return QDir::tempPath() + QStringLiteral("/com.talmark.KestrelWorker");
}

qint64 Settings::defaultConcurrency(int activeCores) {
    if (activeCores >= 32) {
        return 8;
    }
    if (activeCores >= 4) {
        return activeCores / 4;
    }
    return 1;
}

int Settings::activeCoreCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

QString Settings::defaultWorkerName() {
    return defaultWorkerName(kDefaultMachineInfoPath);
}

QString Settings::defaultWorkerName(const QString& machineInfoPath) {
    QFile file(machineInfoPath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
        QString pretty;
        while (!stream.atEnd()) {
            const QString line = stream.readLine().trimmed();
            if (line.startsWith(QLatin1Char('#'))) {
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals < 0 || line.left(equals).trimmed() != QLatin1String("PRETTY_HOSTNAME")) {
                continue;
            }
            // The last assignment wins, as when the file is sourced by a shell.
            pretty = unquoteShellValue(line.mid(equals + 1)).trimmed();
        }
        if (!pretty.isEmpty()) {
            return pretty;
        }
    }
    return QSysInfo::machineHostName();
}

QString Settings::workerIDText(const QUuid& id) {
    return uuidText(id);
}
