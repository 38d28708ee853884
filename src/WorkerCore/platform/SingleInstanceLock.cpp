#include "platform/SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString SingleInstanceLock::lockPath(const QString& dataDirectory) {
    if (dataDirectory.isEmpty() || !QDir().mkpath(dataDirectory)) {
        return QStringLiteral("/tmp/.kwr-lock");
    }
    return dataDirectory + QStringLiteral("/.singleton-lock");
}

bool SingleInstanceLock::tryAcquire(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath()); // a failure shows in the open below
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // the descriptor stays open until the process ends
}
