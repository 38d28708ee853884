#include "health/ConnectionHealth.h"

#include "health/SystemClock.h"

#include <gtest/gtest.h>
#include <vector>

// Readable failures; found by argument lookup, so outside the anonymous namespace.
void PrintTo(const ConnectionHealth::State& state, std::ostream* out) {
    switch (state.kind()) {
    case ConnectionHealth::State::Kind::healthy:
        *out << "healthy";
        break;
    case ConnectionHealth::State::Kind::degraded:
        *out << "degraded";
        break;
    case ConnectionHealth::State::Kind::unreachable:
        *out << "unreachable(" << state.since()->toString(Qt::ISODateWithMs).toStdString() << ")";
        break;
    }
}

namespace {

const QDateTime origin = QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);

class ManualClock final : public Clock {
public:
    QDateTime currentDate() const override { return now; }
    void setSeconds(double seconds) { now = origin.addMSecs(qint64(seconds * 1000.0)); }

    QDateTime now = origin;
};

QDateTime at(double seconds) {
    return origin.addMSecs(qint64(seconds * 1000.0));
}

using State = ConnectionHealth::State;

struct Step {
    enum Op { fail, succeed, read } op;
    double atSeconds;
    State expected = State::healthy(); // checked after every step
};

struct Script {
    const char* name;
    double thresholdSeconds;
    std::vector<Step> steps;
};

void PrintTo(const Script& script, std::ostream* out) {
    *out << script.name;
}

class ConnectionHealthScripts : public testing::TestWithParam<Script> {};

TEST_P(ConnectionHealthScripts, StateAfterEachStep) {
    const Script& script = GetParam();
    ManualClock clock;
    ConnectionHealth health(std::chrono::duration<double>(script.thresholdSeconds), clock);
    for (size_t i = 0; i < script.steps.size(); ++i) {
        const Step& step = script.steps[i];
        clock.setSeconds(step.atSeconds);
        if (step.op == Step::fail) {
            health.recordFailure();
        } else if (step.op == Step::succeed) {
            health.recordSuccess();
        }
        EXPECT_EQ(health.currentState(), step.expected) << "step " << i << " at " << step.atSeconds;
    }
}

const State degraded = State::degraded();
const State healthy = State::healthy();

INSTANTIATE_TEST_SUITE_P(
    Table, ConnectionHealthScripts,
    testing::Values(
        Script{"freshIsHealthy", 300, {{Step::read, 0, healthy}, {Step::read, 10000, healthy}}},
        Script{"oneFailureReadAtOnce", 300, {{Step::fail, 0, degraded}}},
        Script{"runOfFailuresKeepsFirstAsReference",
               300,
               {{Step::fail, 0, degraded},
                {Step::fail, 60, degraded},
                {Step::fail, 301, State::unreachable(at(0))}}},
        Script{"thresholdIncludesEquality",
               300,
               {{Step::fail, 0, degraded},
                {Step::read, 299.999, degraded},
                {Step::fail, 300, State::unreachable(at(0))}}},
        // Elapsed time is fractional: 299.5 s must not round up to the threshold.
        Script{
            "elapsedIsNotRounded", 300, {{Step::fail, 0, degraded}, {Step::read, 299.5, degraded}}},
        Script{"subSecondThresholdIgnored",
               300.9,
               {{Step::fail, 0, degraded},
                {Step::read, 299.9, degraded},
                {Step::read, 300, State::unreachable(at(0))}}},
        Script{"unreachableWithoutFurtherFailures",
               300,
               {{Step::fail, 10, degraded}, {Step::read, 400, State::unreachable(at(10))}}},
        Script{"clockJumpsBackwards",
               300,
               {{Step::fail, 1000, degraded},
                {Step::read, 0, degraded},
                {Step::fail, -5000, degraded},
                {Step::read, 1300, State::unreachable(at(1000))}}},
        Script{"successResetsTheReference",
               300,
               {{Step::fail, 0, degraded},
                {Step::read, 400, State::unreachable(at(0))},
                {Step::succeed, 450, healthy},
                {Step::fail, 500, degraded},
                {Step::read, 799, degraded},
                {Step::read, 800, State::unreachable(at(500))}}},
        Script{"successFromDegraded",
               300,
               {{Step::fail, 0, degraded},
                {Step::succeed, 10, healthy},
                {Step::read, 1000, healthy},
                {Step::fail, 1000, degraded}}},
        Script{
            "successWhileHealthy", 300, {{Step::succeed, 0, healthy}, {Step::fail, 5, degraded}}}),
    [](const testing::TestParamInfo<Script>& info) { return std::string(info.param.name); });

TEST(ConnectionHealthState, ComparedByCaseAndPayload) {
    EXPECT_EQ(State::unreachable(at(1)), State::unreachable(at(1)));
    EXPECT_NE(State::unreachable(at(1)), State::unreachable(at(2)));
    EXPECT_NE(State::degraded(), State::healthy());
    EXPECT_NE(State::degraded(), State::unreachable(at(1)));
}

TEST(SystemClockTest, GivesUtcWallTime) {
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QDateTime now = SystemClock().currentDate();
    const QDateTime after = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(now.timeSpec(), Qt::UTC);
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

} // namespace
