#include "views/settings/SettingsWindow.h"

#include "FormsTestSupport.h"
#include "common/ElidedLabel.h"
#include "common/ToneColors.h"
#include "onboarding/APIClientClaimer.h"
#include "settings/AccountPaneModel.h"
#include "settings/SettingsBinding.h"
#include "views/settings/AccountPane.h"
#include "views/settings/ProcessingPane.h"
#include "views/settings/ReplaceTokenSheet.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <iostream>

using formstest::find;
using Tab = SettingsWindow::Tab;

namespace {

// A button of the folder panel (Qt's own dialog on the offscreen platform), by its text.
QPushButton* panelButton(const QFileDialog& panel, const QString& text) {
    for (QPushButton* button : panel.findChildren<QPushButton*>()) {
        if (button->text().remove(QLatin1Char('&')) == text) {
            return button;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

const QString kBullets = QString(8, QChar(0x2022)) + QLatin1Char(' ');

// A Settings window over a recording apply, the real keyring, a real claim
// against a loopback server and the recording update service.
class SettingsWindowTest : public ::testing::Test {
protected:
    static Settings initial() {
        Settings settings;
        settings.serverURL = QUrl("https://kestrel.example.com");
        settings.workerName = "Studio 1";
        settings.workerID = QUuid::createUuid();
        settings.pollInterval = 10;
        settings.maxConcurrency = 2;
        return settings;
    }

    template <typename T> T* widget(const char* name) { return find<T>(window, name); }

    void press(const char* name) {
        QPushButton* button = widget<QPushButton>(name);
        ASSERT_TRUE(button->isVisible()) << name;
        ASSERT_TRUE(button->isEnabled()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Clicks a check box on its indicator, where the operator would.
    void toggle(const char* name) {
        auto* box = widget<QCheckBox>(name);
        ASSERT_TRUE(box->isVisible()) << name;
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
    }

    void type(const char* name, const QString& text) {
        QLineEdit* edit = widget<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    formstest::ClaimServer claims;
    QNetworkAccessManager session;
    formstest::ScopedKeychain keychain;
    QList<Settings> applied;
    SettingsBinding binding{initial(), [this](Settings settings) -> QCoro::Task<void> {
                                applied << settings;
                                co_return;
                            }};
    AccountPaneModel account{binding, keychain.store,
                             ConnectionTester(std::make_shared<APIClientClaimer>(&session))};
    formstest::RecordingUpdater updater;
    SettingsWindow window{binding, account, updater};
};

} // namespace

TEST_F(SettingsWindowTest, FourTabsThatFitTheFixedWindow) {
    EXPECT_EQ(window.objectName(), "settings");
    EXPECT_EQ(window.minimumSize(), QSize(560, 460));
    EXPECT_EQ(window.maximumSize(), QSize(560, 460));
    auto* tabs = widget<QTabWidget>("settings.tabs");
    ASSERT_EQ(tabs->count(), 4);
    const QStringList labels = {"General", "Processing", "Account", "Updates"};
    const QStringList panes = {"settings.general", "settings.processing", "settings.account",
                               "settings.updates"};
    window.show();
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(labels[index].toStdString());
        EXPECT_EQ(tabs->tabText(index), labels[index]);
        EXPECT_FALSE(tabs->tabIcon(index).isNull());
        window.selectTab(static_cast<Tab>(index));
        QWidget* pane = tabs->currentWidget();
        EXPECT_EQ(pane->objectName(), panes[index]);
        EXPECT_EQ(window.currentTab(), static_cast<Tab>(index));
        // Nothing clipped: the tab gives each pane at least what its form needs.
        const QSize needed = pane->minimumSizeHint();
        std::cout << pane->objectName().toStdString() << ": needs " << needed.width() << "x"
                  << needed.height() << ", given " << pane->width() << "x" << pane->height()
                  << "\n";
        EXPECT_GE(pane->width(), 480);
        EXPECT_GE(pane->height(), 360);
        EXPECT_LE(needed.width(), pane->width());
        EXPECT_LE(needed.height(), pane->height());
    }
}

TEST_F(SettingsWindowTest, TheSteppersKeepToTheirRanges) {
    const struct {
        const char* name;
        int minimum;
        int maximum;
        QString textAtMaximum;
        qint64 Settings::*field;
    } steppers[] = {
        {"settings.processing.concurrency", 1, 8, "Max concurrent jobs: 8",
         &Settings::maxConcurrency},
        {"settings.processing.pollInterval", 1, 300, "Poll interval: 300 s",
         &Settings::pollInterval},
    };
    window.show();
    window.selectTab(Tab::processing);
    for (const auto& s : steppers) {
        SCOPED_TRACE(s.name);
        auto* box = widget<QSpinBox>(s.name);
        EXPECT_EQ(box->minimum(), s.minimum);
        EXPECT_EQ(box->maximum(), s.maximum);
        EXPECT_EQ(box->value(), binding.draft().*s.field);
        box->stepBy(1000);
        EXPECT_EQ(box->value(), s.maximum);
        EXPECT_EQ(box->text(), s.textAtMaximum);
        EXPECT_EQ(binding.draft().*s.field, s.maximum);
        QTest::keyClick(box, Qt::Key_Up);
        EXPECT_EQ(binding.draft().*s.field, s.maximum);
        box->stepBy(-1000);
        QTest::keyClick(box, Qt::Key_Down);
        EXPECT_EQ(box->value(), s.minimum);
        EXPECT_EQ(binding.draft().*s.field, s.minimum);
    }
    EXPECT_TRUE(applied.isEmpty()); // edits wait for Save
}

TEST_F(SettingsWindowTest, SaveFollowsTheServerURLText) {
    const struct {
        QString text;
        bool valid;
    } cases[] = {
        {" https://kestrel.example.com", false},
        {"kestrel.example.com", false},
        {"ftp://kestrel.example.com", false},
        {"https://", false},
        {"", false},
        {"http://127.0.0.1:9", true},
        {"https://kestrel.example.com/", true},
    };
    window.show();
    auto* generalSave = widget<QPushButton>("settings.general.save");
    auto* processingSave = widget<QPushButton>("settings.processing.save");
    auto* hint = widget<QLabel>("settings.general.serverURLHint");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        window.selectTab(Tab::general);
        type("settings.general.serverURL", c.text);
        EXPECT_EQ(binding.serverURLString(), c.text);
        EXPECT_EQ(generalSave->isEnabled(), c.valid);
        EXPECT_EQ(hint->isVisible(), !c.valid);
        // The Processing tab's Save is never disabled; with a bad URL it does nothing.
        window.selectTab(Tab::processing);
        EXPECT_TRUE(processingSave->isEnabled());
        const qsizetype before = applied.size();
        QTest::mouseClick(processingSave, Qt::LeftButton);
        ASSERT_TRUE(kwtest::waitUntil([&] { return !c.valid || applied.size() == before + 1; }));
        EXPECT_EQ(applied.size(), before + (c.valid ? 1 : 0));
        if (c.valid) {
            EXPECT_EQ(applied.last().serverURL, QUrl(c.text));
        }
    }
}

TEST_F(SettingsWindowTest, SaveOnEitherTabStoresTheWholeDraft) {
    window.show();
    window.selectTab(Tab::general);
    type("settings.general.workerName", "Render Node 2");
    type("settings.general.serverURL", "https://kestrel.test:8443/");
    toggle("settings.general.autoStart");
    toggle("settings.general.launchAtLogin");
    toggle("settings.general.hideDock");
    EXPECT_EQ(widget<QCheckBox>("settings.general.hideDock")->toolTip(),
              "Requires app restart to take effect");
    EXPECT_EQ(widget<QLabel>("settings.general.workerID")->text(),
              Settings::workerIDText(binding.draft().workerID));
    window.selectTab(Tab::processing);
    widget<QSpinBox>("settings.processing.concurrency")->stepBy(1);
    widget<QSpinBox>("settings.processing.pollInterval")->stepBy(35);
    EXPECT_TRUE(applied.isEmpty());

    press("settings.processing.save");
    ASSERT_TRUE(kwtest::waitUntil([&] { return applied.size() == 1; }));
    Settings expected = binding.draft();
    expected.serverURL = QUrl("https://kestrel.test:8443/");
    expected.workerName = "Render Node 2";
    expected.autoStartPollingOnLaunch = false;
    expected.launchAtLogin = true;
    expected.hideDockIcon = true;
    expected.maxConcurrency = 3;
    expected.pollInterval = 45;
    EXPECT_TRUE(applied[0] == expected);
    EXPECT_TRUE(binding.draft() == expected);

    // An empty name is not the General tab's business: it is stored as it is.
    window.selectTab(Tab::general);
    widget<QLineEdit>("settings.general.workerName")->clear();
    press("settings.general.save");
    ASSERT_TRUE(kwtest::waitUntil([&] { return applied.size() == 2; }));
    EXPECT_EQ(applied[1].workerName, QString());
}

TEST_F(SettingsWindowTest, TheFolderPanelChoosesAFolderAndResetGoesBackToTheDefault) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir("scratch"));
    const QString chosen = QDir(root.path()).filePath("scratch");
    window.show();
    window.selectTab(Tab::processing);
    ProcessingPane* pane = window.processingPane();
    auto* path = widget<ElidedLabel>("settings.processing.scratchPath");
    auto* reset = widget<QPushButton>("settings.processing.resetFolder");
    EXPECT_EQ(path->fullText(), QDir::toNativeSeparators(Settings::defaultScratchDirectory()));
    EXPECT_FALSE(reset->isVisible());

    // Cancelled: nothing changes.
    press("settings.processing.chooseFolder");
    QFileDialog* panel = pane->folderPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible()); // open() returned at once: no loop of its own
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(panel->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), "Select");
    QTest::mouseClick(panelButton(*panel, "Cancel"), Qt::LeftButton);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(binding.draft().scratchDirectory.has_value());

    // Confirmed: the draft takes the folder, unsaved, and Reset appears.
    press("settings.processing.chooseFolder");
    panel = pane->folderPanel();
    ASSERT_NE(panel, nullptr);
    panel->setDirectory(root.path());
    panel->selectFile(chosen);
    QTest::mouseClick(panelButton(*panel, "Select"), Qt::LeftButton);
    ASSERT_TRUE(kwtest::waitUntil([&] { return binding.draft().scratchDirectory.has_value(); }));
    EXPECT_EQ(*binding.draft().scratchDirectory, chosen);
    EXPECT_EQ(path->fullText(), QDir::toNativeSeparators(chosen));
    EXPECT_TRUE(reset->isVisible());

    press("settings.processing.resetFolder");
    EXPECT_FALSE(binding.draft().scratchDirectory.has_value());
    EXPECT_EQ(path->fullText(), QDir::toNativeSeparators(Settings::defaultScratchDirectory()));
    EXPECT_FALSE(reset->isVisible());
    EXPECT_TRUE(applied.isEmpty());
}

TEST_F(SettingsWindowTest, TheAccountPaneShowsTheStoredTokenMaskedAndReplacesIt) {
    window.show();
    window.selectTab(Tab::account);
    auto* token = widget<QLabel>("settings.account.token");
    EXPECT_EQ(token->text(), "(none)");

    // Shown again: read from the keyring again.
    kwtest::runTask(keychain.store.saveToken("stored-token-1234"));
    window.selectTab(Tab::general);
    window.selectTab(Tab::account);
    ASSERT_TRUE(kwtest::waitUntil([&] { return token->text() == kBullets + "1234"; }))
        << token->text().toStdString();

    AccountPane* pane = window.accountPane();
    press("settings.account.replace");
    ReplaceTokenSheet* sheet = pane->replaceSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible()); // open() returned at once
    EXPECT_TRUE(sheet->isModal());
    auto* field = find<QLineEdit>(*sheet, "settings.account.newToken");
    auto* save = find<QPushButton>(*sheet, "settings.account.saveToken");
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClicks(field, "new-token-9876");
    EXPECT_TRUE(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_TRUE(kwtest::waitUntil([&] { return pane->replaceSheet() == nullptr; }));
    EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("new-token-9876"));
    EXPECT_EQ(token->text(), kBullets + "9876");

    // Escape, and Cancel, close the sheet and leave the keyring alone.
    for (const bool escape : {true, false}) {
        press("settings.account.replace");
        sheet = pane->replaceSheet();
        ASSERT_NE(sheet, nullptr);
        QTest::keyClicks(find<QLineEdit>(*sheet, "settings.account.newToken"), "typed");
        if (escape) {
            QTest::keyClick(sheet, Qt::Key_Escape);
        } else {
            QTest::mouseClick(find<QPushButton>(*sheet, "settings.account.cancelReplace"),
                              Qt::LeftButton);
        }
        ASSERT_TRUE(kwtest::waitUntil([&] { return pane->replaceSheet() == nullptr; }));
        EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("new-token-9876"));
        EXPECT_EQ(token->text(), kBullets + "9876");
    }
}

TEST_F(SettingsWindowTest, TestNowUsesTheTypedURLAndTheStoredToken) {
    kwtest::runTask(keychain.store.saveToken(QString::fromLatin1(claims.acceptedToken)));
    window.show();
    // The General tab's text, never saved.
    type("settings.general.serverURL", claims.server.baseURL().toString());
    window.selectTab(Tab::account);
    auto* test = widget<QPushButton>("settings.account.testNow");
    auto* progress = widget<QProgressBar>("settings.account.testProgress");
    auto* result = widget<QLabel>("settings.account.testResult");
    EXPECT_EQ(test->text(), "Test now");
    EXPECT_FALSE(result->isVisible());

    const struct {
        QString stored;
        QString text;
        Tone tone;
    } cases[] = {
        {"accepted-token-4242", "Connection OK", Tone::green},
        {"revoked-token-0000", "Token rejected (401)", Tone::red},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        kwtest::runTask(keychain.store.saveToken(c.stored));
        QTest::mouseClick(test, Qt::LeftButton);
        EXPECT_FALSE(test->isEnabled());
        EXPECT_TRUE(test->text().isEmpty());
        EXPECT_TRUE(progress->isVisible());
        ASSERT_TRUE(kwtest::waitUntil([&] { return !account.isTesting(); }));
        EXPECT_TRUE(test->isEnabled());
        EXPECT_EQ(test->text(), "Test now");
        EXPECT_FALSE(progress->isVisible());
        ASSERT_TRUE(result->isVisible());
        EXPECT_EQ(result->text(), c.text);
        EXPECT_EQ(result->palette().color(QPalette::WindowText),
                  toneColor(c.tone, result->palette()));
        ASSERT_FALSE(claims.server.requests().isEmpty());
        EXPECT_EQ(claims.server.requests().last().header("Authorization"),
                  "Worker " + c.stored.toLatin1());
    }
    EXPECT_EQ(claims.server.requests().size(), 2);
    EXPECT_TRUE(applied.isEmpty());
}

TEST_F(SettingsWindowTest, TheUpdatesPaneShowsTheServiceAndWritesItsFlags) {
    window.show();
    window.selectTab(Tab::updates);
    auto* checks = widget<QCheckBox>("settings.updates.automaticChecks");
    auto* downloads = widget<QCheckBox>("settings.updates.automaticDownloads");
    auto* lastCheck = widget<QLabel>("settings.updates.lastCheck");
    auto* feed = widget<ElidedLabel>("settings.updates.feedURL");
    auto* checkNow = widget<QPushButton>("settings.updates.checkNow");
    EXPECT_TRUE(checks->isChecked());
    EXPECT_FALSE(downloads->isChecked());
    EXPECT_EQ(lastCheck->text(), "Never");
    EXPECT_EQ(feed->fullText(), QString(QChar(0x2014)));
    EXPECT_EQ(widget<QLabel>("settings.updates.displayName")->text(), "Update feed");
    EXPECT_FALSE(checkNow->isEnabled());

    toggle("settings.updates.automaticDownloads");
    toggle("settings.updates.automaticChecks");
    EXPECT_EQ(updater.writes, QStringList({"downloads=1", "checks=0"}));
    EXPECT_TRUE(updater.downloads);
    EXPECT_FALSE(updater.checks);

    // The service changes on its own: the pane follows without writing anything back.
    updater.checks = true;
    updater.canCheck = true;
    updater.lastCheck = QDateTime(QDate(2031, 7, 14), QTime(9, 30), Qt::UTC);
    updater.feed = QUrl("https://updates.example.com/kestrel-worker/appcast.xml");
    emit updater.changed();
    EXPECT_TRUE(checks->isChecked());
    EXPECT_NE(lastCheck->text(), "Never");
    EXPECT_TRUE(lastCheck->text().contains("31")) << lastCheck->text().toStdString();
    EXPECT_EQ(feed->fullText(), "https://updates.example.com/kestrel-worker/appcast.xml");
    EXPECT_EQ(updater.writes.size(), 2);
    ASSERT_TRUE(checkNow->isEnabled());
    QTest::mouseClick(checkNow, Qt::LeftButton);
    EXPECT_EQ(updater.checkCalls, 1);
}
