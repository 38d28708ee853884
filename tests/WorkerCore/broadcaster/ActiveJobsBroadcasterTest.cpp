#include "engine/ActiveJobsBroadcaster.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <memory>

namespace {

using State = JobRecord::State;
using JobType = JobRecord::JobType;

const QDateTime kStart(QDate(2025, 3, 7), QTime(9, 0), QTimeZone::utc());

ActiveJob job(QString id, State state, int percent, QDateTime startedAt = kStart,
              QString fileName = "clip.mov") {
    return ActiveJob{std::move(id), std::move(fileName), JobType::preview, state,
                     percent,       std::move(startedAt)};
}

QStringList idsOf(const QList<ActiveJob>& jobs) {
    QStringList ids;
    for (const ActiveJob& j : jobs) {
        ids.append(j.id);
    }
    return ids;
}

// Records every list the broadcaster hands out.
struct Recorder {
    explicit Recorder(ActiveJobsBroadcaster& broadcaster) {
        broadcaster.subscribe(&context,
                              [this](const QList<ActiveJob>& jobs) { lists.append(jobs); });
    }
    QObject context;
    QList<QList<ActiveJob>> lists;
};

struct GuardCase {
    State stored;
    State incoming;
    bool replaces;
};

TEST(ActiveJobsBroadcasterTest, StateGuard) {
    const QList<GuardCase> cases = {
        {State::uploading, State::encoding, false},   {State::encoding, State::encoding, true},
        {State::encoding, State::uploading, true},    {State::downloading, State::claimed, false},
        {State::completing, State::uploading, false}, {State::failed, State::downloading, false},
        {State::failed, State::claimed, false},       {State::completed, State::completing, false},
        {State::failed, State::completed, true},      {State::completed, State::failed, true},
        {State::claimed, State::failed, true},        {State::uploading, State::completed, true},
        {State::completing, State::failed, true},
    };
    for (const GuardCase& c : cases) {
        const std::string name =
            (JobRecord::toString(c.stored) + " <- " + JobRecord::toString(c.incoming))
                .toStdString();
        ActiveJobsBroadcaster broadcaster;
        const ActiveJob first = job("j1", c.stored, 50);
        broadcaster.upsert(first);
        Recorder recorder(broadcaster);
        // Every field differs, so a replacement must be wholesale to match.
        const ActiveJob second{"j1",       "other.mp4", JobType::thumbnail,
                               c.incoming, 7,           kStart.addSecs(5)};
        broadcaster.upsert(second);

        const ActiveJob expected = c.replaces ? second : first;
        EXPECT_EQ(broadcaster.snapshot(), QList<ActiveJob>{expected}) << name;
        // The subscription's first list is the current one; one more only if stored.
        ASSERT_EQ(recorder.lists.size(), c.replaces ? 2 : 1) << name;
        EXPECT_EQ(recorder.lists.last(), QList<ActiveJob>{expected}) << name;
    }
}

TEST(ActiveJobsBroadcasterTest, SameStageMayLowerThePercent) {
    ActiveJobsBroadcaster broadcaster;
    Recorder recorder(broadcaster);
    broadcaster.upsert(job("j1", State::encoding, 50));
    broadcaster.upsert(job("j1", State::encoding, 40));
    ASSERT_EQ(recorder.lists.size(), 3);
    EXPECT_EQ(recorder.lists[1].at(0).percent, 50);
    EXPECT_EQ(recorder.lists[2].at(0).percent, 40);
    EXPECT_EQ(broadcaster.snapshot().at(0).percent, 40);
}

TEST(ActiveJobsBroadcasterTest, RemovedJobIsCreatedAfreshByTheNextUpsert) {
    ActiveJobsBroadcaster broadcaster;
    broadcaster.upsert(job("j1", State::uploading, 70));
    broadcaster.remove("j1");
    EXPECT_TRUE(broadcaster.snapshot().isEmpty());
    broadcaster.upsert(job("j1", State::claimed, 0));
    EXPECT_EQ(broadcaster.snapshot(), QList<ActiveJob>{job("j1", State::claimed, 0)});
}

TEST(ActiveJobsBroadcasterTest, ListsAreSortedByStartThenId) {
    ActiveJobsBroadcaster broadcaster;
    Recorder recorder(broadcaster);
    broadcaster.upsert(job("a", State::claimed, 0, kStart.addSecs(10)));
    broadcaster.upsert(job("z", State::claimed, 0, kStart));
    broadcaster.upsert(job("b", State::claimed, 0, kStart));
    broadcaster.upsert(job("0", State::claimed, 0, kStart.addMSecs(1)));
    const QStringList expected = {"b", "z", "0", "a"};
    EXPECT_EQ(idsOf(broadcaster.snapshot()), expected);
    EXPECT_EQ(idsOf(recorder.lists.last()), expected);
    // Re-inserting the earliest does not move it in the hash order's favour.
    broadcaster.upsert(job("z", State::downloading, 10, kStart));
    EXPECT_EQ(idsOf(recorder.lists.last()), expected);
}

TEST(ActiveJobsBroadcasterTest, NewSubscriberGetsTheCurrentListAtOnce) {
    ActiveJobsBroadcaster broadcaster;
    Recorder empty(broadcaster);
    ASSERT_EQ(empty.lists.size(), 1);
    EXPECT_TRUE(empty.lists[0].isEmpty());

    broadcaster.upsert(job("j2", State::encoding, 33, kStart.addSecs(1)));
    broadcaster.upsert(job("j1", State::downloading, 10));
    Recorder late(broadcaster);
    ASSERT_EQ(late.lists.size(), 1);
    EXPECT_EQ(idsOf(late.lists[0]), (QStringList{"j1", "j2"}));

    broadcaster.remove("j1");
    EXPECT_EQ(idsOf(late.lists.last()), QStringList{"j2"});
    EXPECT_EQ(late.lists.size(), 2);
    EXPECT_EQ(empty.lists.size(), 4);
}

TEST(ActiveJobsBroadcasterTest, RemovingAnUnknownIdStillPublishes) {
    ActiveJobsBroadcaster broadcaster;
    broadcaster.upsert(job("j1", State::encoding, 40));
    Recorder recorder(broadcaster);
    broadcaster.remove("nope");
    ASSERT_EQ(recorder.lists.size(), 2);
    EXPECT_EQ(recorder.lists[1], QList<ActiveJob>{job("j1", State::encoding, 40)});
}

TEST(ActiveJobsBroadcasterTest, DestroyedSubscriberIsDropped) {
    ActiveJobsBroadcaster broadcaster;
    int calls = 0;
    auto context = std::make_unique<QObject>();
    broadcaster.subscribe(context.get(), [&](const QList<ActiveJob>&) { ++calls; });
    broadcaster.upsert(job("j1", State::claimed, 0));
    context.reset();
    broadcaster.upsert(job("j1", State::downloading, 10));
    broadcaster.remove("j1");
    EXPECT_EQ(calls, 2);
}

} // namespace
