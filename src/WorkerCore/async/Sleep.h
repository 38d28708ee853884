#pragma once

#include <QCoroTask>
#include <chrono>
#include <stop_token>

// Suspends for `duration`; throws CancelledError as soon as `stop` is
// requested (also when it already was).
QCoro::Task<void> sleepFor(std::chrono::milliseconds duration, std::stop_token stop);
