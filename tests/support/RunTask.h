#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <exception>
#include <optional>

// Drives a coroutine to its end on a local event loop and hands back its
// result or rethrows its exception. Tests only: product code never nests loops.
// A task that does not finish in time aborts the test binary (its frame still
// points at this function's locals, so carrying on would be unsafe).
namespace kwtest {

void abortTimedOutTask();

template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    auto drive = [&]() -> QCoro::Task<void> {
        try {
            result.emplace(co_await std::move(task));
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto driver = drive();
    if (!done) {
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!done) {
        abortTimedOutTask();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return std::move(*result);
}

inline void runTask(QCoro::Task<void> task,
                    std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
    auto wrapped = [](QCoro::Task<void> inner) -> QCoro::Task<bool> {
        co_await std::move(inner);
        co_return true;
    };
    runTask<bool>(wrapped(std::move(task)), timeout);
}

// Spins the event loop until `condition` holds or the timeout passes.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    QEventLoop loop;
    QTimer poll;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || std::chrono::steady_clock::now() >= deadline) {
            loop.quit();
        }
    });
    if (condition()) {
        return true;
    }
    poll.start(5);
    loop.exec();
    return condition();
}

} // namespace kwtest
