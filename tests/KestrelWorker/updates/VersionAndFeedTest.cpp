#include "updates/UpdateFeed.h"
#include "updates/UpdateFeedError.h"
#include "updates/VersionNumber.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionNumberTest, ParsesOnlyDottedDigits) {
    const char* valid[] = {"0", "1.2.3", "10.0.1", " 2.4 ", "18446744073709551615"};
    for (const char* text : valid) {
        EXPECT_TRUE(VersionNumber::parse(QString::fromLatin1(text))) << text;
    }
    const char* invalid[] = {"",         "1..2", ".1",   "1.",    "v1.2",
                             "1.2-beta", "+1",   "1 .2", "1.2.x", "18446744073709551616"};
    for (const char* text : invalid) {
        EXPECT_FALSE(VersionNumber::parse(QString::fromLatin1(text))) << text;
    }
}

TEST(VersionNumberTest, ComparesNumericallyPartByPart) {
    struct Case {
        const char* a;
        const char* b;
        int expected; // sign of a <=> b
    };
    const Case cases[] = {
        {"1.2", "1.2.0", 0}, {"1.10", "1.9", 1}, {"2", "1.99.99", 1}, {"0.1.0", "0.1.1", -1},
        {"1.0.0.1", "1", 1}, {"007", "7", 0},    {"0.9", "0.10", -1},
    };
    for (const Case& c : cases) {
        const auto a = *VersionNumber::parse(QString::fromLatin1(c.a));
        const auto b = *VersionNumber::parse(QString::fromLatin1(c.b));
        const auto order = a <=> b;
        const int sign = order < 0 ? -1 : order > 0 ? 1 : 0;
        EXPECT_EQ(sign, c.expected) << c.a << " vs " << c.b;
    }
}

const QUrl feedURL(QStringLiteral("https://updates.example.com/kestrel/appcast.xml"));

QByteArray rss(const QByteArray& items) {
    return "<?xml version=\"1.0\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>Kestrel Worker</title>" +
           items + "</channel></rss>";
}

TEST(UpdateFeedTest, ReadsVersionsAndLinksOfEveryUsableItem) {
    const UpdateFeed feed = UpdateFeed::parse(
        rss("<item><title>0.3</title><version>0.3.0</version>"
            "<enclosure url=\"https://dl.example.com/kw-0.3.0.tar.gz\" length=\"1\" "
            "type=\"application/gzip\"/></item>"
            "<item><enclosure url=\"kw-0.5.tar.gz\" sparkle:version=\"0.5\"/></item>"
            "<item><sparkle:version>0.4.1</sparkle:version>"
            "<enclosure url=\"https://dl.example.com/kw-0.4.1.tar.gz\"/></item>"
            // Left out: no link, a version that is not one, a link that is not web.
            "<item><version>9.0</version></item>"
            "<item><version>latest</version><enclosure url=\"https://x/kw\"/></item>"
            "<item><version>8.0</version><enclosure url=\"file:///etc/passwd\"/></item>"),
        feedURL);

    ASSERT_EQ(feed.items().size(), 3);
    EXPECT_EQ(feed.items()[0].version.toString(), QStringLiteral("0.3.0"));
    EXPECT_EQ(feed.items()[0].downloadURL,
              QUrl(QStringLiteral("https://dl.example.com/kw-0.3.0.tar.gz")));
    // Relative links resolve against the feed.
    EXPECT_EQ(feed.items()[1].downloadURL,
              QUrl(QStringLiteral("https://updates.example.com/kestrel/kw-0.5.tar.gz")));
    EXPECT_EQ(feed.items()[2].version.toString(), QStringLiteral("0.4.1"));

    ASSERT_TRUE(feed.newest());
    EXPECT_EQ(feed.newest()->version.toString(), QStringLiteral("0.5"));
}

TEST(UpdateFeedTest, EmptyChannelHasNoNewest) {
    const UpdateFeed feed = UpdateFeed::parse(rss(""), feedURL);
    EXPECT_TRUE(feed.items().isEmpty());
    EXPECT_FALSE(feed.newest());
}

TEST(UpdateFeedTest, RejectsWhatIsNotAUsableFeed) {
    const QByteArray cases[] = {
        "",
        "not xml at all",
        "<html><body>Moved</body></html>",
        "<rss version=\"2.0\"></rss>",
        rss("<item><version>1.0</version><enclosure url=\"https://x/a\"/></item>").chopped(6),
        rss("<item><version>1.0</version><enclosure url=\"https://x/a\"/></item>") + "<rss/>",
        rss("<item><version>soon</version><enclosure url=\"https://x/a\"/></item>"),
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_THROW(UpdateFeed::parse(bytes, feedURL), UpdateFeedError) << bytes.toStdString();
    }
}

} // namespace
