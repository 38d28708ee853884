#include "platform/SingleInstanceLock.h"

#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

int openLockFile(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

} // namespace

bool SingleInstanceLock::tryAcquire(const QString& path, const QString& fallbackPath) {
    int fd = openLockFile(path);
    if (fd < 0) {
        fd = openLockFile(fallbackPath);
    }
    if (fd < 0) {
        return false; // no lock can be had: behave as a second instance
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // the descriptor stays open until the process ends
}
