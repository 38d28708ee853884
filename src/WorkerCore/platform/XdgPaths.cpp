#include "platform/XdgPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString baseDirectory(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    // Relative values are invalid by the XDG rules and must be ignored.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return value;
    }
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}

} // namespace

QString XdgPaths::settingsFile() {
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral(".config")) +
           QStringLiteral("/KestrelWorker/KestrelWorker.conf");
}

QString XdgPaths::dataDirectory() {
    return baseDirectory("XDG_DATA_HOME", QStringLiteral(".local/share")) +
           QStringLiteral("/KestrelWorker");
}

QString XdgPaths::logDirectory() {
    return baseDirectory("XDG_STATE_HOME", QStringLiteral(".local/state")) +
           QStringLiteral("/KestrelWorker/logs");
}

QString XdgPaths::autostartDirectory() {
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral(".config")) +
           QStringLiteral("/autostart");
}

QString XdgPaths::bundledOrSystemTool(const QString& tool) {
    const QString bundled = QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../libexec/kestrel-worker/") + tool;
    const QFileInfo info(bundled);
    if (info.isFile() && info.isExecutable()) {
        return info.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(tool);
}
