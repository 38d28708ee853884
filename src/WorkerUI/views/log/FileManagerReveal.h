#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

// "Show in File Manager": asks the desktop's file manager, over
// org.freedesktop.FileManager1, to open a window with an item selected. When no
// file manager answers on the bus, the folder itself is opened with the
// desktop's default handler instead. Never blocks; failures end there.
class FileManagerReveal : public QObject {
    Q_OBJECT

public:
    // Opens a folder when the file manager cannot be asked; the default is
    // QDesktopServices::openUrl.
    using FolderOpener = std::function<void(const QUrl& folder)>;

    explicit FileManagerReveal(QDBusConnection bus, FolderOpener openFolder = {},
                               QObject* parent = nullptr);

    // Shows `path` (a file or a folder) selected in its parent folder; the
    // fallback opens `path` when it is a folder, else the folder holding it.
    void reveal(const QString& path);

    static const QString service;
    static const QString objectPath;
    static const QString interface;

signals:
    // The request went out one way or the other: over the bus, or, that
    // failing, to the folder opener.
    void revealFinished(bool byFileManager);

private:
    void openFolderOf(const QString& path);

    QDBusConnection m_bus;
    FolderOpener m_openFolder;
};
