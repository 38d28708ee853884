#include "RunTask.h"
#include "async/CancelledError.h"
#include "async/Sleep.h"

#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(SleepTest, EndsAfterDurationWhenNotStopped) {
    std::stop_source source;
    const auto begin = std::chrono::steady_clock::now();
    kwtest::runTask(sleepFor(50ms, source.get_token()));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 45ms);
}

TEST(SleepTest, StopEndsSleepEarlyWithCancellation) {
    std::stop_source source;
    QTimer::singleShot(20ms, [&] { source.request_stop(); });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(kwtest::runTask(sleepFor(60s, source.get_token())), CancelledError);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

TEST(SleepTest, AlreadyStoppedTokenThrowsAtOnce) {
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(kwtest::runTask(sleepFor(60s, source.get_token())), CancelledError);
}
