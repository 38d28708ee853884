#include "views/log/FileManagerReveal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

const QString FileManagerReveal::service = QStringLiteral("org.freedesktop.FileManager1");
const QString FileManagerReveal::objectPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString FileManagerReveal::interface = QStringLiteral("org.freedesktop.FileManager1");

FileManagerReveal::FileManagerReveal(QDBusConnection bus, FolderOpener openFolder, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_openFolder(openFolder ? std::move(openFolder) : FolderOpener([](const QUrl& folder) {
        QDesktopServices::openUrl(folder);
    })) {}

void FileManagerReveal::reveal(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!m_bus.isConnected()) {
        openFolderOf(absolute);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, objectPath, interface, QStringLiteral("ShowItems"));
    // No startup id: this is not a launch the desktop can track for us.
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, absolute](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError()) {
                    openFolderOf(absolute);
                    return;
                }
                emit revealFinished(true);
            });
}

void FileManagerReveal::openFolderOf(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    m_openFolder(QUrl::fromLocalFile(folder));
    emit revealFinished(false);
}
