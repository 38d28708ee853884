#pragma once

#include <QString>

// One agent per user: an exclusive advisory lock on a file, held by an open
// descriptor for the life of the process (never closed, so a crash frees it).
class SingleInstanceLock {
public:
    // Tries `path`; when it cannot be opened, the fallback path. False when
    // another process holds the lock or no lock file can be opened at all.
    static bool tryAcquire(const QString& path,
                           const QString& fallbackPath = QStringLiteral("/tmp/.kwr-lock"));
};
