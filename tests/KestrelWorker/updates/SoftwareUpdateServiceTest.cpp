#include "updates/SoftwareUpdateService.h"

#include "RawHttpServer.h"
#include "RunTask.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using Kind = UpdateCheckResult::Kind;

class ManualClock final : public Clock {
public:
    QDateTime currentDate() const override { return now; }
    QDateTime now = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 500), Qt::UTC);
};

QByteArray feedWith(const QByteArray& version) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Kestrel Worker</title>"
           "<item><version>0.0.9</version><enclosure url=\"/dl/kw-0.0.9.tar.gz\"/></item>"
           "<item><version>" +
           version + "</version><enclosure url=\"/dl/kw-" + version +
           ".tar.gz\"/></item></channel></rss>";
}

class UpdateServiceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Off unless a test is about them: they would start a check on their own.
        QSettings(settingsPath(), QSettings::IniFormat)
            .setValue(SoftwareUpdateService::automaticChecksKey(), false);
        server.setHandler([this](const RecordedRequest& request, QTcpSocket* socket) {
            if (request.target != "/appcast.xml") {
                RawHttpServer::respond(socket, 404, "no such feed",
                                       {{"Content-Type", "text/plain"}});
            } else if (holdResponse) {
                held = socket;
            } else {
                RawHttpServer::respond(socket, 200, feed,
                                       {{"Content-Type", "application/rss+xml"}});
            }
        });
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("KestrelWorker.conf")); }
    QUrl feedURL() const { return server.baseURL().resolved(QUrl(QStringLiteral("/appcast.xml"))); }

    std::unique_ptr<SoftwareUpdateService> makeService(QUrl url, QString version = "0.1.0") {
        // Each service keeps its own settings object, as a fresh process would.
        allSettings.push_back(std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat));
        return std::make_unique<SoftwareUpdateService>(
            url, version, &network, allSettings.back().get(), clock,
            [this](const UpdateCheckResult& result) { presented.push_back(result); });
    }

    QTemporaryDir dir;
    RawHttpServer server;
    QNetworkAccessManager network;
    ManualClock clock;
    std::vector<std::unique_ptr<QSettings>> allSettings;
    std::vector<UpdateCheckResult> presented;
    QByteArray feed = feedWith("0.1.0");
    bool holdResponse = false;
    QPointer<QTcpSocket> held;
};

struct FeedCase {
    const char* name;
    QByteArray feed;
    const char* path;
    Kind expected;
    const char* expectedText; // version shown, or a part of the error
};

void PrintTo(const FeedCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateCheckOutcome : public UpdateServiceTest,
                           public testing::WithParamInterface<FeedCase> {};

TEST_P(UpdateCheckOutcome, ComparesTheFeedWithTheRunningVersion) {
    const FeedCase& c = GetParam();
    feed = c.feed;
    auto service = makeService(server.baseURL().resolved(QUrl(QString::fromLatin1(c.path))));

    const UpdateCheckResult result = kwtest::runTask(service->check());

    EXPECT_EQ(result.kind(), c.expected) << result.errorText().toStdString();
    if (c.expected == Kind::failed) {
        EXPECT_TRUE(result.errorText().contains(QString::fromLatin1(c.expectedText)))
            << result.errorText().toStdString();
    } else {
        EXPECT_EQ(result.version(), QString::fromLatin1(c.expectedText));
    }
    if (c.expected == Kind::updateAvailable) {
        EXPECT_EQ(result.downloadURL(),
                  server.baseURL().resolved(QUrl(QStringLiteral("/dl/kw-") + c.expectedText +
                                                 QStringLiteral(".tar.gz"))));
    }
    // The check ran, whatever it found: stamped with the clock's time.
    EXPECT_EQ(service->lastUpdateCheckDate(), std::optional<QDateTime>(clock.now));
    EXPECT_TRUE(service->canCheckForUpdates());
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(presented.empty()); // a direct check shows nothing by itself
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateCheckOutcome,
    testing::Values(FeedCase{"newer", feedWith("0.2.0"), "/appcast.xml", Kind::updateAvailable,
                             "0.2.0"},
                    FeedCase{"newerByPatch", feedWith("0.1.0.1"), "/appcast.xml",
                             Kind::updateAvailable, "0.1.0.1"},
                    FeedCase{"same", feedWith("0.1"), "/appcast.xml", Kind::upToDate, "0.1.0"},
                    FeedCase{"older", feedWith("0.0.10"), "/appcast.xml", Kind::upToDate, "0.1.0"},
                    FeedCase{"malformed", "<rss><channel><item>", "/appcast.xml", Kind::failed,
                             "The update feed could not be read"},
                    FeedCase{"notAFeed", "<html>maintenance</html>", "/appcast.xml", Kind::failed,
                             "not an RSS feed"},
                    FeedCase{"notFound", feedWith("9.0"), "/missing.xml", Kind::failed,
                             "The update feed could not be loaded (HTTP 404)."}),
    [](const testing::TestParamInfo<FeedCase>& info) { return std::string(info.param.name); });

TEST_F(UpdateServiceTest, UnreachableServerIsReportedAsAnError) {
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    auto service =
        makeService(QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closedPort)));
    const UpdateCheckResult result = kwtest::runTask(service->check());
    EXPECT_EQ(result.kind(), Kind::failed);
    EXPECT_TRUE(
        result.errorText().startsWith(QStringLiteral("The update server could not be reached: ")))
        << result.errorText().toStdString();
    EXPECT_TRUE(service->lastUpdateCheckDate());
}

TEST_F(UpdateServiceTest, WithoutAFeedNothingCanStart) {
    for (const QUrl& url : {QUrl(), QUrl(QStringLiteral("http://[::1"))}) {
        auto service = makeService(url);
        EXPECT_FALSE(service->feedURL());
        EXPECT_FALSE(service->canCheckForUpdates());
        service->checkForUpdates();
        const UpdateCheckResult result = kwtest::runTask(service->check());
        EXPECT_EQ(result.kind(), Kind::failed);
        EXPECT_FALSE(service->lastUpdateCheckDate());
    }
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(presented.empty());
}

TEST_F(UpdateServiceTest, UserCheckShowsItsOutcomeAndBlocksASecondOne) {
    feed = feedWith("1.0");
    holdResponse = true;
    auto service = makeService(feedURL());
    EXPECT_EQ(service->feedURL(), std::optional<QUrl>(feedURL()));
    int announcements = 0;
    QObject::connect(service.get(), &UpdaterServicing::changed, [&] { ++announcements; });

    service->checkForUpdates();
    EXPECT_FALSE(service->canCheckForUpdates());
    EXPECT_EQ(announcements, 1);
    ASSERT_TRUE(kwtest::waitUntil([&] { return held != nullptr; }));
    service->checkForUpdates(); // ignored while one runs
    EXPECT_FALSE(service->lastUpdateCheckDate());

    RawHttpServer::respond(held, 200, feed, {{"Content-Type", "application/rss+xml"}});
    ASSERT_TRUE(kwtest::waitUntil([&] { return !presented.empty(); }));
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].kind(), Kind::updateAvailable);
    EXPECT_EQ(presented[0].version(), QStringLiteral("1.0"));
    EXPECT_TRUE(service->canCheckForUpdates());
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateServiceTest, UserCheckShowsUpToDateAndErrorsToo) {
    auto service = makeService(feedURL());
    service->checkForUpdates();
    ASSERT_TRUE(kwtest::waitUntil([&] { return presented.size() == 1; }));
    EXPECT_EQ(presented[0].kind(), Kind::upToDate);

    feed = "garbage";
    service->checkForUpdates();
    ASSERT_TRUE(kwtest::waitUntil([&] { return presented.size() == 2; }));
    EXPECT_EQ(presented[1].kind(), Kind::failed);
}

TEST_F(UpdateServiceTest, FlagsAndLastCheckSurviveANewService) {
    {
        auto service = makeService(feedURL());
        EXPECT_FALSE(service->automaticChecksEnabled()); // as the fixture stored it
        EXPECT_FALSE(service->automaticDownloadsEnabled());
        int announcements = 0;
        QObject::connect(service.get(), &UpdaterServicing::changed, [&] { ++announcements; });
        service->setAutomaticDownloadsEnabled(true);
        EXPECT_EQ(announcements, 1);
        kwtest::runTask(service->check());
        service->setAutomaticChecksEnabled(true); // last check is fresh: nothing starts
        EXPECT_TRUE(service->canCheckForUpdates());
    }
    auto again = makeService(feedURL());
    EXPECT_TRUE(again->automaticChecksEnabled());
    EXPECT_TRUE(again->automaticDownloadsEnabled());
    ASSERT_TRUE(again->lastUpdateCheckDate());
    EXPECT_EQ(*again->lastUpdateCheckDate(), clock.now);
    EXPECT_EQ(again->lastUpdateCheckDate()->timeSpec(), Qt::UTC);

    again->setAutomaticChecksEnabled(false);
    auto third = makeService(feedURL());
    EXPECT_FALSE(third->automaticChecksEnabled());
}

TEST_F(UpdateServiceTest, FreshSettingsCheckAutomaticallyAndDownloadNothing) {
    QFile::remove(settingsPath());
    auto service = makeService(feedURL());
    EXPECT_TRUE(service->automaticChecksEnabled());
    EXPECT_FALSE(service->automaticDownloadsEnabled());
}

TEST_F(UpdateServiceTest, AutomaticCheckRunsWhenDueAndShowsOnlyNews) {
    QSettings(settingsPath(), QSettings::IniFormat)
        .setValue(SoftwareUpdateService::automaticChecksKey(), true);

    // Never checked: one check soon after creation; up to date, so no window.
    {
        auto service = makeService(feedURL());
        ASSERT_TRUE(kwtest::waitUntil([&] { return service->lastUpdateCheckDate().has_value(); }));
        EXPECT_EQ(server.requests().size(), 1);
        EXPECT_TRUE(presented.empty());
    }

    // Checked just now: not due, nothing starts.
    {
        auto service = makeService(feedURL());
        EXPECT_FALSE(service->automaticCheckDue());
        QCoreApplication::processEvents();
        EXPECT_TRUE(service->canCheckForUpdates());
        clock.now = clock.now.addSecs(24 * 3600 - 1);
        EXPECT_FALSE(service->automaticCheckDue());
        clock.now = clock.now.addSecs(1);
        EXPECT_TRUE(service->automaticCheckDue());
    }

    // A day later, with news: the check runs and the window shows it.
    feed = feedWith("0.3");
    {
        auto service = makeService(feedURL());
        ASSERT_TRUE(kwtest::waitUntil([&] { return !presented.empty(); }));
        EXPECT_EQ(presented[0].kind(), Kind::updateAvailable);
        EXPECT_EQ(server.requests().size(), 2);
        EXPECT_EQ(service->lastUpdateCheckDate(), std::optional<QDateTime>(clock.now));
    }
}

TEST_F(UpdateServiceTest, SwitchingAutomaticChecksOnStartsADueCheck) {
    auto service = makeService(feedURL());
    QCoreApplication::processEvents();
    EXPECT_FALSE(service->automaticCheckDue());
    EXPECT_TRUE(server.requests().isEmpty());

    service->setAutomaticChecksEnabled(true);
    EXPECT_TRUE(service->automaticCheckDue());
    ASSERT_TRUE(kwtest::waitUntil([&] { return service->lastUpdateCheckDate().has_value(); }));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(UpdateServiceTest, LastCheckInTheFutureMakesACheckDue) {
    auto service = makeService(feedURL());
    kwtest::runTask(service->check());
    service->setAutomaticChecksEnabled(true);
    EXPECT_FALSE(service->automaticCheckDue());
    clock.now = clock.now.addSecs(-60); // the clock went back
    EXPECT_TRUE(service->automaticCheckDue());
}

TEST_F(UpdateServiceTest, DestroyedDuringACheckLeavesNothingBehind) {
    holdResponse = true;
    auto service = makeService(feedURL());
    service->checkForUpdates();
    ASSERT_TRUE(kwtest::waitUntil([&] { return held != nullptr; }));
    service.reset();
    ASSERT_TRUE(held);
    RawHttpServer::respond(held, 200, feed);
    QCoreApplication::processEvents();
    EXPECT_TRUE(presented.empty());
    // Nothing was stamped for a check that never finished.
    EXPECT_FALSE(QSettings(settingsPath(), QSettings::IniFormat)
                     .contains(SoftwareUpdateService::lastCheckKey()));
}

} // namespace
