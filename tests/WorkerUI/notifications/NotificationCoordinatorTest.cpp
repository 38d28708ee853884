#include "notifications/NotificationCoordinator.h"

#include "RunTask.h"

#include <QCoroSignal>
#include <QObject>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

const QDateTime origin = QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);

class ManualClock final : public Clock {
public:
    QDateTime currentDate() const override { return now; }
    void setSeconds(double seconds) { now = origin.addMSecs(qint64(seconds * 1000.0)); }

    QDateTime now = origin;
};

// Lets a test hold a delivery open until it says so.
class Gate : public QObject {
    Q_OBJECT
public:
    void open() { Q_EMIT opened(); }
Q_SIGNALS:
    void opened();
};

struct Posted {
    QString title;
    QString body;
};

class RecordingNotifier final : public Notifier {
public:
    QCoro::Task<void> post(QString title, QString body) override {
        posted.push_back({title, body});
        if (gate) {
            ++waiting;
            co_await qCoro(gate, &Gate::opened);
            --waiting;
        }
        if (throws) {
            throw std::runtime_error("delivery broke");
        }
        ++delivered;
    }

    std::vector<Posted> posted;
    Gate* gate = nullptr;
    bool throws = false;
    int waiting = 0;
    int delivered = 0;
};

using Event = NotificationCoordinator::Event;

struct Fixture {
    ManualClock clock;
    RecordingNotifier notifier;
    NotificationCoordinator coordinator{notifier, clock, std::chrono::seconds(300)};

    void notifyAt(double seconds, Event event) {
        clock.setSeconds(seconds);
        kwtest::runTask(coordinator.notify(std::move(event)));
    }
    std::vector<QString> bodies() const {
        std::vector<QString> result;
        for (const Posted& p : notifier.posted) {
            result.push_back(p.body);
        }
        return result;
    }
};

TEST(NotificationCoordinatorTest, FirstEventOfEachKindIsPostedWithItsTexts) {
    Fixture f;
    f.notifyAt(0, Event::jobFailed(QStringLiteral("J-7"), QStringLiteral("Job failed: disk full")));
    f.notifyAt(0, Event::tokenRejected());
    f.notifyAt(0, Event::serverUnreachable());

    ASSERT_EQ(f.notifier.posted.size(), 3u);
    EXPECT_EQ(f.notifier.posted[0].title, QStringLiteral("Job failed"));
    EXPECT_EQ(f.notifier.posted[0].body, QStringLiteral("Job J-7: Job failed: disk full"));
    EXPECT_EQ(f.notifier.posted[1].title, QStringLiteral("Token rejected"));
    EXPECT_EQ(f.notifier.posted[1].body,
              QString::fromUtf8("The Kestrel server rejected this worker's token. Re-enter it in "
                                "Settings \xE2\x86\x92 Account."));
    EXPECT_EQ(f.notifier.posted[2].title, QStringLiteral("Server unreachable"));
    EXPECT_EQ(f.notifier.posted[2].body,
              QStringLiteral("The Kestrel server has been unreachable for over 5 minutes."));
    EXPECT_EQ(f.notifier.delivered, 3);
}

TEST(NotificationCoordinatorTest, KeyDependsOnlyOnTheKind) {
    EXPECT_EQ(NotificationCoordinator::eventKey(Event::jobFailed("a", "x")), "jobFailed");
    EXPECT_EQ(NotificationCoordinator::eventKey(Event::jobFailed("b", "y")), "jobFailed");
    EXPECT_EQ(NotificationCoordinator::eventKey(Event::tokenRejected()), "tokenRejected");
    EXPECT_EQ(NotificationCoordinator::eventKey(Event::serverUnreachable()), "serverUnreachable");
}

struct Timed {
    double atSeconds;
    Event event;
};

struct WindowCase {
    const char* name;
    double windowSeconds;
    std::vector<Timed> events;
    std::vector<QString> expectedBodies;
};

void PrintTo(const WindowCase& c, std::ostream* out) {
    *out << c.name;
}

class NotificationWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(NotificationWindow, PostsExactlyTheExpected) {
    const WindowCase& c = GetParam();
    ManualClock clock;
    RecordingNotifier notifier;
    NotificationCoordinator coordinator(notifier, clock,
                                        std::chrono::duration<double>(c.windowSeconds));
    for (const Timed& timed : c.events) {
        clock.setSeconds(timed.atSeconds);
        kwtest::runTask(coordinator.notify(timed.event));
    }
    std::vector<QString> bodies;
    for (const Posted& p : notifier.posted) {
        bodies.push_back(p.body);
    }
    EXPECT_EQ(bodies, c.expectedBodies);
}

const QString unreachableBody =
    QStringLiteral("The Kestrel server has been unreachable for over 5 minutes.");
const QString tokenBody = QString::fromUtf8("The Kestrel server rejected this worker's token. "
                                            "Re-enter it in Settings \xE2\x86\x92 Account.");

INSTANTIATE_TEST_SUITE_P(
    Table, NotificationWindow,
    testing::Values(
        // All job failures share one key, whatever the job.
        WindowCase{"jobFailuresShareAKey",
                   300,
                   {{0, Event::jobFailed("A", "m1")},
                    {120, Event::jobFailed("B", "m2")},
                    {300, Event::jobFailed("C", "m3")}},
                   {"Job A: m1", "Job C: m3"}},
        // Dropped events do not move the window: 299 is dropped, 300 is not.
        WindowCase{"droppedEventsDoNotExtendTheWindow",
                   300,
                   {{0, Event::serverUnreachable()},
                    {200, Event::serverUnreachable()},
                    {299, Event::serverUnreachable()},
                    {300, Event::serverUnreachable()},
                    {599.999, Event::serverUnreachable()},
                    {600, Event::serverUnreachable()}},
                   {unreachableBody, unreachableBody, unreachableBody}},
        WindowCase{"exactlyTheWindowApartBothPosted",
                   300,
                   {{0, Event::serverUnreachable()}, {300, Event::serverUnreachable()}},
                   {unreachableBody, unreachableBody}},
        WindowCase{"subSecondWindowIgnored",
                   300.9,
                   {{0, Event::serverUnreachable()}, {300, Event::serverUnreachable()}},
                   {unreachableBody, unreachableBody}},
        // One poll failure raises both; different keys.
        WindowCase{"tokenRejectedAndUnreachableTogether",
                   300,
                   {{400, Event::tokenRejected()},
                    {400, Event::serverUnreachable()},
                    {401, Event::tokenRejected()}},
                   {tokenBody, unreachableBody}},
        WindowCase{"kindsDoNotBlockEachOther",
                   300,
                   {{0, Event::jobFailed("A", "m")},
                    {10, Event::tokenRejected()},
                    {20, Event::jobFailed("B", "m")},
                    {30, Event::serverUnreachable()}},
                   {"Job A: m", tokenBody, unreachableBody}}),
    [](const testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

TEST(NotificationCoordinatorTest, SecondEventDuringDeliveryIsDropped) {
    Fixture f;
    Gate gate;
    f.notifier.gate = &gate;

    f.clock.setSeconds(0);
    QCoro::Task<void> first = f.coordinator.notify(Event::jobFailed("A", "m"));
    ASSERT_EQ(f.notifier.waiting, 1); // still delivering

    // Same key while the first is in the notifier's hands: dropped at once.
    f.clock.setSeconds(1);
    QCoro::Task<void> second = f.coordinator.notify(Event::jobFailed("B", "m"));
    EXPECT_TRUE(second.isReady());
    EXPECT_EQ(f.notifier.posted.size(), 1u);

    // Another key is not held up by the delivery in flight.
    QCoro::Task<void> other = f.coordinator.notify(Event::tokenRejected());
    EXPECT_EQ(f.notifier.posted.size(), 2u);
    EXPECT_EQ(f.notifier.waiting, 2);

    gate.open();
    kwtest::runTask(std::move(first));
    kwtest::runTask(std::move(other));
    EXPECT_EQ(f.notifier.delivered, 2);
    EXPECT_EQ(f.bodies(), (std::vector<QString>{"Job A: m", tokenBody}));
}

TEST(NotificationCoordinatorTest, FailedDeliveryStillStampsAndDoesNotThrow) {
    Fixture f;
    f.notifier.throws = true;
    EXPECT_NO_THROW(f.notifyAt(0, Event::serverUnreachable()));
    f.notifier.throws = false;
    f.notifyAt(100, Event::serverUnreachable());
    EXPECT_EQ(f.notifier.posted.size(), 1u);
    f.notifyAt(300, Event::serverUnreachable());
    EXPECT_EQ(f.notifier.posted.size(), 2u);
    EXPECT_EQ(f.notifier.delivered, 1);
}

} // namespace

#include "NotificationCoordinatorTest.moc"
