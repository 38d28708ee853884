#include "async/AwaitProcess.h"

#include "async/ProcessLaunchError.h"

#include <QTimer>
#include <coroutine>
#include <functional>
#include <memory>

namespace {

// Resumes through the event queue, so the coroutine never continues (and maybe
// destroys the QProcess) from inside one of QProcess's own signal emissions.
void resumeLater(QProcess& process, std::coroutine_handle<> handle) {
    QMetaObject::invokeMethod(
        &process, [handle] { handle.resume(); }, Qt::QueuedConnection);
}

class StartedAwaiter {
public:
    explicit StartedAwaiter(QProcess& process)
        : m_process(process) {}

    bool await_ready() const { return m_process.state() != QProcess::Starting; }

    void await_suspend(std::coroutine_handle<> handle) {
        m_handle = handle;
        m_started =
            QObject::connect(&m_process, &QProcess::started, &m_process, [this] { resumeOnce(); });
        m_failed = QObject::connect(&m_process, &QProcess::errorOccurred, &m_process,
                                    [this](QProcess::ProcessError error) {
                                        if (error == QProcess::FailedToStart) {
                                            resumeOnce();
                                        }
                                    });
        if (m_process.state() != QProcess::Starting) {
            resumeOnce();
        }
    }

    void await_resume() const {}

private:
    void resumeOnce() {
        QObject::disconnect(m_started);
        QObject::disconnect(m_failed);
        if (auto handle = std::exchange(m_handle, nullptr)) {
            resumeLater(m_process, handle);
        }
    }

    QProcess& m_process;
    std::coroutine_handle<> m_handle;
    QMetaObject::Connection m_started;
    QMetaObject::Connection m_failed;
};

class FinishedAwaiter {
public:
    FinishedAwaiter(QProcess& process, std::stop_token stop, std::chrono::milliseconds killDelay)
        : m_process(process)
        , m_stop(std::move(stop))
        , m_killDelay(killDelay) {}

    bool await_ready() const { return m_process.state() == QProcess::NotRunning; }

    void await_suspend(std::coroutine_handle<> handle) {
        m_handle = handle;
        m_finished =
            QObject::connect(&m_process, &QProcess::finished, &m_process, [this] { resumeOnce(); });
        QProcess* process = &m_process;
        const auto killDelay = m_killDelay;
        // Queued: request_stop() may come from inside another coroutine or thread.
        m_onStop = std::make_unique<std::stop_callback<std::function<void()>>>(
            m_stop, [process, killDelay] {
                QMetaObject::invokeMethod(
                    process,
                    [process, killDelay] {
                        if (process->state() == QProcess::NotRunning) {
                            return;
                        }
                        process->terminate();
                        QTimer::singleShot(killDelay, process, [process] {
                            if (process->state() != QProcess::NotRunning) {
                                process->kill();
                            }
                        });
                    },
                    Qt::QueuedConnection);
            });
        // The child may have ended before the connection was in place.
        if (m_process.state() == QProcess::NotRunning) {
            resumeOnce();
        }
    }

    ProcessOutcome await_resume() {
        m_onStop.reset();
        return outcomeOf(m_process);
    }

private:
    void resumeOnce() {
        QObject::disconnect(m_finished);
        if (auto handle = std::exchange(m_handle, nullptr)) {
            resumeLater(m_process, handle);
        }
    }

    QProcess& m_process;
    std::stop_token m_stop;
    std::chrono::milliseconds m_killDelay;
    std::coroutine_handle<> m_handle;
    QMetaObject::Connection m_finished;
    std::unique_ptr<std::stop_callback<std::function<void()>>> m_onStop;
};

} // namespace

ProcessOutcome outcomeOf(const QProcess& process) {
    if (process.exitStatus() == QProcess::CrashExit) {
        const int signal = process.exitCode();
        return ProcessOutcome{128 + signal, signal};
    }
    return ProcessOutcome{process.exitCode(), std::nullopt};
}

QCoro::Task<void> awaitProcessStarted(QProcess& process) {
    co_await StartedAwaiter(process);
    if (process.error() == QProcess::FailedToStart) {
        throw ProcessLaunchError(process.program(), process.errorString());
    }
}

QCoro::Task<ProcessOutcome> awaitProcessFinished(QProcess& process, std::stop_token stop,
                                                 std::chrono::milliseconds killDelay) {
    co_return co_await FinishedAwaiter(process, std::move(stop), killDelay);
}
