#include "updates/UpdateCheckDialog.h"

#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

TEST(UpdateCheckDialogTest, UpToDate) {
    UpdateCheckDialog dialog(UpdateCheckResult::upToDate(QStringLiteral("0.1.0")));
    EXPECT_EQ(dialog.message(), QStringLiteral("Kestrel Worker is up to date."));
    EXPECT_EQ(dialog.detail(), QStringLiteral("Version 0.1.0 is the newest version available."));
}

TEST(UpdateCheckDialogTest, AvailableVersionCarriesItsDownloadLink) {
    UpdateCheckDialog dialog(UpdateCheckResult::updateAvailable(
        QStringLiteral("0.2.0"), QUrl(QStringLiteral("https://dl.example.com/kw?a=1&b=\"2\""))));
    EXPECT_EQ(dialog.message(), QStringLiteral("Kestrel Worker version 0.2.0 is available."));
    auto* link = dialog.findChild<QLabel*>(QStringLiteral("updates.checkDialog.downloadLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->openExternalLinks());
    EXPECT_EQ(link->textFormat(), Qt::RichText);
    // The address cannot break out of the attribute.
    EXPECT_EQ(link->text(),
              QStringLiteral("<a href=\"https://dl.example.com/kw?a=1&amp;b=%222%22\">"
                             "Download version 0.2.0</a>"));
}

TEST(UpdateCheckDialogTest, FailureShowsTheErrorText) {
    const QString error = QStringLiteral("The update feed could not be loaded (HTTP 404).");
    UpdateCheckDialog dialog(UpdateCheckResult::failed(error));
    EXPECT_EQ(dialog.message(), QStringLiteral("The update check failed."));
    EXPECT_EQ(dialog.detail(), error);
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("updates.checkDialog.downloadLink")),
              nullptr);
}

TEST(UpdateCheckDialogTest, PresentShowsAWindowThatGoesAwayWhenClosed) {
    UpdateCheckDialog::present(UpdateCheckResult::upToDate(QStringLiteral("0.1.0")));
    UpdateCheckDialog* shown = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<UpdateCheckDialog*>(widget);
            dialog && dialog->isVisible()) {
            shown = dialog;
        }
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_FALSE(shown->isModal());
    shown->close();
}

} // namespace
