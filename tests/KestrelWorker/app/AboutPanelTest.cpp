// The About panel's credits: six runs in order, and an ffmpeg notice that tells
// which build is in use.
#include "app/AboutPanel.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace {

TEST(AboutPanelTest, SixRunsWithTheirFontsAndTheSystemFFmpegNamed) {
    const QList<AboutPanel::Run> runs = AboutPanel::credits(QStringLiteral("/usr/bin/ffmpeg"));
    ASSERT_EQ(runs.size(), 6);
    const QList<std::pair<int, bool>> fonts = {{13, true},  {11, false}, {12, true},
                                               {11, false}, {12, true},  {11, false}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(runs[i].pointSize, fonts[i].first) << i;
        EXPECT_EQ(runs[i].bold, fonts[i].second) << i;
        EXPECT_TRUE(runs[i].text.endsWith('\n')) << i;
    }
    EXPECT_EQ(runs[0].text, "Kestrel Worker\n");
    EXPECT_TRUE(runs[1].text.endsWith("\n\n"));
    EXPECT_EQ(runs[4].text, "Other components\n");
    // Debian's package, named with its path and its real licence.
    EXPECT_FALSE(AboutPanel::isBundledFFmpeg("/usr/bin/ffmpeg"));
    EXPECT_TRUE(runs[3].text.contains("/usr/bin/ffmpeg"));
    EXPECT_TRUE(runs[3].text.contains("Debian"));
    EXPECT_EQ(runs[3].text.count("\n\n"), 2); // three paragraphs
    EXPECT_TRUE(runs[5].text.contains("SQLiteCpp"));
    EXPECT_TRUE(runs[5].text.contains("MIT"));
}

TEST(AboutPanelTest, ABundledBuildCarriesTheGPLv3Notice) {
    const QString bundled = QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../libexec/kestrel-worker/ffmpeg");
    ASSERT_TRUE(AboutPanel::isBundledFFmpeg(bundled));
    const QList<AboutPanel::Run> runs = AboutPanel::credits(bundled);
    EXPECT_EQ(runs[2].text, "Bundled ffmpeg\n");
    EXPECT_TRUE(runs[3].text.contains("--enable-gpl --enable-version3"));
    EXPECT_TRUE(runs[3].text.contains("version 3 or any later version"));
}

TEST(AboutPanelTest, OpensWithoutBlockingAndEscapesTheText) {
    QMessageBox* box = AboutPanel::show(QStringLiteral("/opt/<odd>/ffmpeg"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains("&lt;odd&gt;"));
    box->close();
}

} // namespace
