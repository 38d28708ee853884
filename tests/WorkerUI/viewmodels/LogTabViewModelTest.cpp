#include "log/LogTabViewModel.h"

#include "ViewModelFakes.h"
#include "logging/LogStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Level = LogEvent::Level;

QStringList messages(const QList<LogEvent>& events) {
    QStringList list;
    for (const LogEvent& event : events) {
        list << event.message;
    }
    return list;
}

// The real store, with an event logged right after the subscription is made and
// another right after the snapshot is taken: the first reaches a reader both
// ways, the second only through a subscription made before the snapshot.
class EventsAroundTheSnapshot : public LogObserving {
public:
    explicit EventsAroundTheSnapshot(LogStore& store)
        : m_store(store) {}

    QList<LogEvent> snapshot() const override {
        QList<LogEvent> events = m_store.snapshot();
        m_store.log(Level::info, "poll", "after snapshot");
        return events;
    }
    QMetaObject::Connection subscribe(QObject* context,
                                      std::function<void(const LogEvent&)> receiver) override {
        QMetaObject::Connection connection = m_store.subscribe(context, std::move(receiver));
        m_store.log(Level::info, "poll", "after subscribe");
        return connection;
    }

private:
    LogStore& m_store;
};

class LogTabTest : public ::testing::Test {
protected:
    std::unique_ptr<LogStore> makeStore(qsizetype capacity) {
        return std::make_unique<LogStore>(temp.filePath("logs"), capacity, 14);
    }

    QTemporaryDir temp;
};

} // namespace

TEST_F(LogTabTest, LevelAndSearchFilter) {
    auto store = makeStore(100);
    store->log(Level::debug, "poll", "debug upload line");
    store->log(Level::info, "job", "Started upload", QString("j1"));
    store->log(Level::info, "UPLOADER", "category match");
    store->log(Level::warn, "job", "job id match", QString("upload-77"));
    store->log(Level::warn, "poll", "claim error: Token rejected (401)");
    store->log(Level::error, "job", "Job failed: boom", QString("j2"));
    LogTabViewModel model(*store, 100);
    model.start();
    ASSERT_EQ(model.displayed().size(), 6);

    const struct {
        Level minimum;
        const char* search;
        QStringList expected;
    } cases[] = {
        {Level::info,
         "",
         {"Started upload", "category match", "job id match", "claim error: Token rejected (401)",
          "Job failed: boom"}},
        {Level::debug,
         "",
         {"debug upload line", "Started upload", "category match", "job id match",
          "claim error: Token rejected (401)", "Job failed: boom"}},
        {Level::warn,
         "",
         {"job id match", "claim error: Token rejected (401)", "Job failed: boom"}},
        {Level::error, "  \n ", {"Job failed: boom"}},
        // Message, then category, then job id; the debug one is below the level.
        {Level::info, "Upload", {"Started upload", "category match", "job id match"}},
        {Level::debug,
         "UPLOAD",
         {"debug upload line", "Started upload", "category match", "job id match"}},
        // Level first, whatever the text.
        {Level::warn, "started", {}},
        {Level::info, "j2", {"Job failed: boom"}},
        {Level::info, "token", {"claim error: Token rejected (401)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.search) + " at " + LogEvent::toString(c.minimum).toStdString());
        model.setMinimumLevel(c.minimum);
        model.setSearchText(c.search);
        EXPECT_EQ(messages(model.filtered()), c.expected);
    }
}

TEST_F(LogTabTest, CapacityKeepsTheNewestAndDropsTheOldest) {
    auto store = makeStore(100);
    for (int i = 1; i <= 5; ++i) {
        store->log(Level::info, "poll", QString("e%1").arg(i));
    }
    LogTabViewModel model(*store, 3);
    EXPECT_TRUE(model.displayed().isEmpty()); // nothing before start()
    model.start();
    EXPECT_EQ(messages(model.displayed()), (QStringList{"e3", "e4", "e5"}));
    store->log(Level::info, "poll", "e6");
    EXPECT_EQ(messages(model.displayed()), (QStringList{"e4", "e5", "e6"}));
}

TEST_F(LogTabTest, ACapacityBelowOneIsOne) {
    for (const qsizetype capacity : {qsizetype(0), qsizetype(-5)}) {
        SCOPED_TRACE(capacity);
        auto store = makeStore(100);
        store->log(Level::info, "poll", "older");
        store->log(Level::info, "poll", "newest");
        LogTabViewModel model(*store, capacity);
        EXPECT_EQ(model.maxBuffered(), 1);
        model.start();
        EXPECT_EQ(messages(model.displayed()), QStringList{"newest"});
        store->log(Level::warn, "poll", "later");
        EXPECT_EQ(messages(model.displayed()), QStringList{"later"});
    }
}

TEST_F(LogTabTest, EventsLoggedDuringStartAppearOnceEach) {
    // With the events in the snapshot too, and with a store that holds nothing
    // (so they reach the model by the stream only).
    for (const qsizetype storeCapacity : {qsizetype(100), qsizetype(0)}) {
        SCOPED_TRACE(storeCapacity);
        auto store = makeStore(storeCapacity);
        store->log(Level::info, "poll", "before");
        EventsAroundTheSnapshot source(*store);
        LogTabViewModel model(source, 10);
        model.start();
        const QStringList during{"after subscribe", "after snapshot"};
        const QStringList expected = storeCapacity > 0 ? QStringList{"before"} + during : during;
        EXPECT_EQ(messages(model.displayed()), expected);
        store->log(Level::info, "poll", "later");
        EXPECT_EQ(messages(model.displayed()), expected + QStringList{"later"});
    }
}

TEST_F(LogTabTest, StartingAgainTakesAFreshSnapshotAndOneSubscription) {
    auto store = makeStore(100);
    store->log(Level::info, "poll", "one");
    LogTabViewModel model(*store, 10);
    model.start();
    store->log(Level::info, "poll", "two");
    model.setMinimumLevel(Level::warn);
    model.setSearchText("x");
    model.start();
    model.start();
    store->log(Level::info, "poll", "three");
    EXPECT_EQ(messages(model.displayed()), (QStringList{"one", "two", "three"}));
    // The filter survives a restart.
    EXPECT_EQ(model.minimumLevel(), Level::warn);
    EXPECT_EQ(model.searchText(), "x");
}

TEST_F(LogTabTest, ADiscardedModelNoLongerListens) {
    auto store = makeStore(100);
    auto model = std::make_unique<LogTabViewModel>(*store, 10);
    model->start();
    model.reset();
    store->log(Level::error, "job", "after the model"); // must not reach freed memory
    EXPECT_EQ(store->snapshot().size(), 1);
}

TEST_F(LogTabTest, FollowsTheNewestShownEvent) {
    auto store = makeStore(100);
    LogTabViewModel model(*store, 10);
    QSignalSpy follow(&model, &LogTabViewModel::followRequested);
    model.start();
    EXPECT_EQ(follow.count(), 0); // nothing to show

    store->log(Level::info, "poll", "shown");
    ASSERT_EQ(follow.count(), 1);
    EXPECT_EQ(follow.takeFirst().at(0).value<QUuid>(), store->snapshot().last().id);

    // Below the level: the list stays where it is.
    store->log(Level::debug, "poll", "hidden");
    EXPECT_EQ(follow.count(), 0);

    store->log(Level::error, "job", "failed", QString("j1"));
    ASSERT_EQ(follow.count(), 1);
    const QUuid failedID = follow.takeFirst().at(0).value<QUuid>();
    EXPECT_EQ(failedID, store->snapshot().last().id);

    // A search that keeps only the first event moves the tail back to it.
    model.setSearchText("shown");
    ASSERT_EQ(follow.count(), 1);
    EXPECT_EQ(follow.takeFirst().at(0).value<QUuid>(), store->snapshot().first().id);
    // A search that empties the list requests nothing.
    model.setSearchText("nothing matches");
    EXPECT_EQ(follow.count(), 0);
    EXPECT_FALSE(model.lastFilteredID().has_value());
    model.setSearchText("");
    ASSERT_EQ(follow.count(), 1);
    EXPECT_EQ(follow.takeFirst().at(0).value<QUuid>(), failedID);
}

TEST(LogTabTexts, LevelTitlesAndTones) {
    EXPECT_EQ(LogTabViewModel::levelTitle(Level::debug), "Debug");
    EXPECT_EQ(LogTabViewModel::levelTitle(Level::info), "Info");
    EXPECT_EQ(LogTabViewModel::levelTitle(Level::warn), "Warn");
    EXPECT_EQ(LogTabViewModel::levelTitle(Level::error), "Error");
    EXPECT_EQ(LogTabViewModel::levelTone(Level::debug), Tone::secondary);
    EXPECT_EQ(LogTabViewModel::levelTone(Level::info), Tone::primary);
    EXPECT_EQ(LogTabViewModel::levelTone(Level::warn), Tone::orange);
    EXPECT_EQ(LogTabViewModel::levelTone(Level::error), Tone::red);
}
