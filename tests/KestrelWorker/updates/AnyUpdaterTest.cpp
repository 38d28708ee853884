#include "updates/AnyUpdater.h"

#include <gtest/gtest.h>

namespace {

// An update mechanism whose every member the test can see and set.
class RecordingUpdater final : public UpdaterServicing {
public:
    bool canCheckForUpdates() const override { return canCheck; }
    std::optional<QDateTime> lastUpdateCheckDate() const override { return lastCheck; }
    std::optional<QUrl> feedURL() const override { return feed; }
    bool automaticChecksEnabled() const override { return checks; }
    void setAutomaticChecksEnabled(bool enabled) override {
        checks = enabled;
        ++checkWrites;
        Q_EMIT changed();
    }
    bool automaticDownloadsEnabled() const override { return downloads; }
    void setAutomaticDownloadsEnabled(bool enabled) override {
        downloads = enabled;
        ++downloadWrites;
        Q_EMIT changed();
    }
    void checkForUpdates() override { ++checksStarted; }
    QString displayName() const override { return name; }

    bool canCheck = true;
    std::optional<QDateTime> lastCheck;
    std::optional<QUrl> feed = QUrl(QStringLiteral("https://updates.example.com/feed.xml"));
    bool checks = true;
    bool downloads = false;
    QString name = QStringLiteral("Recording");
    int checkWrites = 0;
    int downloadWrites = 0;
    int checksStarted = 0;
};

TEST(AnyUpdaterTest, ForwardsWhatItDoesNotOwn) {
    RecordingUpdater wrapped;
    AnyUpdater updater(wrapped);

    EXPECT_TRUE(updater.canCheckForUpdates());
    EXPECT_EQ(updater.feedURL(), wrapped.feed);
    EXPECT_EQ(updater.displayName(), QStringLiteral("Recording"));
    EXPECT_FALSE(updater.lastUpdateCheckDate());

    // Read through every time, not copied at creation.
    wrapped.canCheck = false;
    wrapped.lastCheck = QDateTime(QDate(2024, 1, 2), QTime(3, 4), Qt::UTC);
    wrapped.feed.reset();
    wrapped.name = QStringLiteral("Renamed");
    EXPECT_FALSE(updater.canCheckForUpdates());
    EXPECT_EQ(updater.lastUpdateCheckDate(), wrapped.lastCheck);
    EXPECT_FALSE(updater.feedURL());
    EXPECT_EQ(updater.displayName(), QStringLiteral("Renamed"));

    updater.checkForUpdates();
    updater.checkForUpdates();
    EXPECT_EQ(wrapped.checksStarted, 2);
}

TEST(AnyUpdaterTest, FlagsAreItsOwnAndWrittenThrough) {
    RecordingUpdater wrapped;
    wrapped.checks = false;
    wrapped.downloads = true;
    AnyUpdater updater(wrapped);
    EXPECT_FALSE(updater.automaticChecksEnabled());
    EXPECT_TRUE(updater.automaticDownloadsEnabled());

    int announcements = 0;
    QObject::connect(&updater, &UpdaterServicing::changed, [&] { ++announcements; });

    updater.setAutomaticChecksEnabled(true);
    EXPECT_TRUE(updater.automaticChecksEnabled());
    EXPECT_TRUE(wrapped.checks);
    EXPECT_EQ(announcements, 1);

    updater.setAutomaticDownloadsEnabled(false);
    EXPECT_FALSE(updater.automaticDownloadsEnabled());
    EXPECT_FALSE(wrapped.downloads);
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(wrapped.checkWrites, 1);
    EXPECT_EQ(wrapped.downloadWrites, 1);

    // Reads give the own field, even when the wrapped one moves by itself.
    wrapped.checks = false;
    EXPECT_TRUE(updater.automaticChecksEnabled());
}

TEST(AnyUpdaterTest, AnnouncesOnlyItsOwnChanges) {
    RecordingUpdater wrapped;
    AnyUpdater updater(wrapped);
    int announcements = 0;
    QObject::connect(&updater, &UpdaterServicing::changed, [&] { ++announcements; });

    Q_EMIT wrapped.changed();
    wrapped.setAutomaticDownloadsEnabled(true); // the wrapped one announces; we do not
    EXPECT_EQ(announcements, 0);
    EXPECT_FALSE(updater.automaticDownloadsEnabled());
}

} // namespace
