#pragma once

#include <QCoroTask>

// Runs a view's fire-and-forget operation to its end. The models' operations do
// not throw, but a task nobody awaits must never let an exception escape.
inline QCoro::Task<void> detachTask(QCoro::Task<void> task) {
    try {
        co_await std::move(task);
    } catch (...) {
    }
}
