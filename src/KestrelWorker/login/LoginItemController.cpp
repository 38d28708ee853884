#include "login/LoginItemController.h"

#include "platform/XdgPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace {

// Exec value as the desktop-entry rules want it: quoted with its reserved
// characters escaped when needed, field codes' '%' doubled, and the string
// escape of backslashes applied on top.
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : program) {
        if (reserved.contains(c)) {
            needsQuotes = true;
            break;
        }
    }
    QString argument;
    if (needsQuotes) {
        argument += QLatin1Char('"');
        for (const QChar c : program) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\')) {
                argument += QLatin1Char('\\');
            }
            argument += c;
        }
        argument += QLatin1Char('"');
    } else {
        argument = program;
    }
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    argument.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return argument;
}

// Hidden=true in the [Desktop Entry] group means the user switched it off.
bool isHidden(const QByteArray& contents) {
    bool inMainGroup = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || line.startsWith('#')) {
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == "Hidden") {
            return line.mid(equals + 1).trimmed() == "true";
        }
    }
    return false;
}

} // namespace

QString LoginItemController::LoginItemError::description() const {
    return QStringLiteral("Login item registration failed: ") + m_text;
}

QString LoginItemController::entryFileName() {
    return QStringLiteral("com.talmark.KestrelWorker.desktop");
}

LoginItemController::LoginItemController(QString executablePath, QString autostartDirectory)
    : m_executablePath(std::move(executablePath))
    , m_autostartDirectory(autostartDirectory.isEmpty() ? XdgPaths::autostartDirectory()
                                                        : std::move(autostartDirectory)) {}

QString LoginItemController::entryPath() const {
    return m_autostartDirectory + QLatin1Char('/') + entryFileName();
}

LoginItemController::Status LoginItemController::status() const {
    QFile entry(entryPath());
    if (!QFileInfo::exists(entry.fileName())) {
        return Status::notRegistered;
    }
    // An entry that cannot be read still starts nothing we could vouch for,
    // but it is there; counting it as enabled leaves a user's file alone.
    if (!entry.open(QIODevice::ReadOnly)) {
        return Status::enabled;
    }
    return isHidden(entry.readAll()) ? Status::notRegistered : Status::enabled;
}

void LoginItemController::reconcile(bool enabled) {
    const bool registered = status() == Status::enabled;
    if (enabled && !registered) {
        registerEntry();
    } else if (!enabled && registered) {
        unregisterEntry();
    }
}

void LoginItemController::registerEntry() const {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(m_autostartDirectory.toStdString()),
                                        error);
    if (error) {
        throw LoginItemError::registrationFailed(
            QStringLiteral("cannot create %1: %2")
                .arg(m_autostartDirectory, QString::fromLocal8Bit(error.message().c_str())));
    }

    const QByteArray contents = QByteArrayLiteral("[Desktop Entry]\n"
                                                  "Type=Application\n"
                                                  "Name=Kestrel Worker\n"
                                                  "Comment=Transcoding node of a Kestrel server\n"
                                                  "Exec=") +
                                execValue(m_executablePath).toUtf8() +
                                QByteArrayLiteral("\n"
                                                  "Terminal=false\n"
                                                  "X-GNOME-Autostart-enabled=true\n");
    // Written whole or not at all: a half-written entry could start anything.
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        throw LoginItemError::registrationFailed(
            QStringLiteral("cannot write %1: %2").arg(entryPath(), file.errorString()));
    }
}

void LoginItemController::unregisterEntry() const {
    QFile file(entryPath());
    if (!file.remove()) {
        throw LoginItemError::registrationFailed(
            QStringLiteral("cannot remove %1: %2").arg(entryPath(), file.errorString()));
    }
}
