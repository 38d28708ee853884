#include "async/Sleep.h"

#include "async/CancelledError.h"

#include <QCoroTimer>
#include <QTimer>
#include <functional>
#include <optional>

QCoro::Task<void> sleepFor(std::chrono::milliseconds duration, std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(duration);
    {
        // Queued, so a stop requested from inside another coroutine never
        // resumes this one re-entrantly.
        std::stop_callback<std::function<void()>> onStop(stop, [&timer] {
            QMetaObject::invokeMethod(
                &timer, [&timer] { timer.start(0); }, Qt::QueuedConnection);
        });
        co_await timer;
    }
    if (stop.stop_requested()) {
        throw CancelledError();
    }
}
