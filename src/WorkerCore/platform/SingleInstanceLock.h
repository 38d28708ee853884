#pragma once

#include <QString>

// One agent per user: an exclusive advisory lock on a file, held by an open
// descriptor for the life of the process (never closed, so a crash frees it).
class SingleInstanceLock {
public:
    // "<data folder>/.singleton-lock", or "/tmp/.kwr-lock" when the data folder
    // cannot be created.
    static QString lockPath(const QString& dataDirectory);

    // False when another process holds the lock, and also when the file cannot
    // be opened: without a lock this process must behave as a second instance.
    // Never waits.
    static bool tryAcquire(const QString& path);
};
