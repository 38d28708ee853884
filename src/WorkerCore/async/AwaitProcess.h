#pragma once

#include <QCoroTask>
#include <QProcess>
#include <chrono>
#include <optional>
#include <stop_token>

// How a child process ended.
struct ProcessOutcome {
    // The exit status of a normal exit; for a child ended by a signal, 128 + the
    // signal number, as shells report it (Qt itself gives the bare signal number).
    int exitCode = 0;
    // Set when a signal ended the child.
    std::optional<int> terminatingSignal;

    bool succeeded() const { return !terminatingSignal && exitCode == 0; }
};

ProcessOutcome outcomeOf(const QProcess& process);

// Waits after QProcess::start() until the child runs. Throws ProcessLaunchError
// (with QProcess's error text) as soon as it could not be started. No time limit.
QCoro::Task<void> awaitProcessStarted(QProcess& process);

// Waits, however long it takes, until the started child has ended; also ends
// when it already has. When `stop` is requested (also before the call) the child
// gets SIGTERM and, if still alive `killDelay` later, SIGKILL; the wait still
// ends only once the child is gone. A stop does not throw here: the caller
// decides what a stopped run means.
QCoro::Task<ProcessOutcome> awaitProcessFinished(QProcess& process, std::stop_token stop,
                                                 std::chrono::milliseconds killDelay);
