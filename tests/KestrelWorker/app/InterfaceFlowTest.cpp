// A new operator's first run, through the real interface and engine against a
// loopback Kestrel server: onboarding, jobs shown live as cards, then History.
#include "MiniKestrel.h"
#include "RunTask.h"
#include "TestClip.h"
#include "app/AppDependencies.h"
#include "app/UserInterface.h"
#include "config/KeychainTokenStore.h"
#include "health/SystemClock.h"
#include "updates/SoftwareUpdateService.h"
#include "views/now/ActiveJobCard.h"
#include "views/now/NowTabView.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

template <typename T> T* named(QWidget* root, const char* name) {
    return root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

void typeInto(QWidget* root, const char* name, const QString& text) {
    auto* field = named<QLineEdit>(root, name);
    ASSERT_NE(field, nullptr) << name;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    ASSERT_EQ(field->text(), text) << name;
}

void press(QWidget* root, const char* name) {
    auto* button = named<QPushButton>(root, name);
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(kwtest::waitUntil([&] { return button->isEnabled(); })) << name;
    button->click();
}

TEST(InterfaceFlowTest, OnboardingThenLiveCardsThenHistory) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    kwtest::TestClip oneSecond;
    oneSecond.seconds = QStringLiteral("1");
    const QString clipError = kwtest::makeTestClip(home.filePath("clip.mp4"), oneSecond);
    ASSERT_TRUE(clipError.isEmpty()) << clipError.toStdString();
    QFile clipFile(home.filePath("clip.mp4"));
    ASSERT_TRUE(clipFile.open(QIODevice::ReadOnly));
    const QByteArray clip = clipFile.readAll();
    MiniKestrel server;
    server.setSource(clip);

    const QString service = QStringLiteral("com.talmark.KestrelWorker.test.flow.") +
                            QUuid::createUuid().toString(QUuid::WithoutBraces);
    EngineGraph::Options options;
    options.settingsFile = home.filePath("KestrelWorker.conf");
    options.dataDirectory = home.filePath("data");
    options.logDirectory = home.filePath("logs");
    options.tokenService = service;
    const QString scratch = home.filePath("scratch");
    options.overrideSettings = [scratch](Settings& s) {
        s.pollInterval = 1;
        s.scratchDirectory = scratch;
    };
    // No feed configured, as in a default build.
    QNetworkAccessManager updateNetwork;
    QSettings updatePreferences(home.filePath("updates.conf"), QSettings::NativeFormat);
    SystemClock clock;
    auto updater = std::make_unique<SoftwareUpdateService>(QUrl(), QStringLiteral("0.1.0"),
                                                           &updateNetwork, &updatePreferences,
                                                           clock, [](const UpdateCheckResult&) {});
    std::unique_ptr<AppDependencies> deps =
        kwtest::runTask(AppDependencies::bootstrap(std::move(updater), options));
    ASSERT_TRUE(deps->requiresOnboarding());

    UserInterface ui(
        *deps, [] {}, [] {});
    ui.present(false);
    ASSERT_TRUE(kwtest::waitUntil(
        [&] { return ui.onboardingWindow() != nullptr && ui.onboardingWindow()->isVisible(); }));
    QWidget* onboarding = ui.onboardingWindow();

    press(onboarding, "onboarding.next");
    typeInto(onboarding, "onboarding.serverURL", server.server().baseURL().toString());
    press(onboarding, "onboarding.next");
    typeInto(onboarding, "onboarding.token", QStringLiteral("good-token"));
    press(onboarding, "onboarding.testConnection");
    auto* result = named<QLabel>(onboarding, "onboarding.testResult");
    ASSERT_NE(result, nullptr);
    ASSERT_TRUE(kwtest::waitUntil([&] { return result->text() == "Connection OK"; }))
        << result->text().toStdString();
    press(onboarding, "onboarding.next");
    typeInto(onboarding, "onboarding.workerName", QStringLiteral("flow-test"));
    press(onboarding, "onboarding.next");

    // The jobs arrive after the connection test, whose claim is a real one.
    server.enqueue("job-a", "preview", "first.mov");
    server.enqueue("job-b", "preview", "second.mov");
    // Every published list must be on screen as cards by the time it is published.
    int listsSeen = 0;
    int mismatches = 0;
    QObject::connect(&deps->activeJobs(), &ActiveJobsBroadcaster::jobsChanged,
                     [&](const QList<ActiveJob>& jobs) {
                         auto* now = qobject_cast<NowTabView*>(
                             static_cast<MainWindow*>(ui.mainWindow())->detail());
                         int cards = 0;
                         for (ActiveJobCard* card : now->findChildren<ActiveJobCard*>()) {
                             cards += card->isVisibleTo(now) ? 1 : 0;
                         }
                         listsSeen += jobs.isEmpty() ? 0 : 1;
                         mismatches += cards == jobs.size() ? 0 : 1;
                     });
    press(onboarding, "onboarding.startPolling");

    ASSERT_TRUE(
        kwtest::waitUntil([&] { return server.finished() == 2; }, std::chrono::seconds(90)));
    EXPECT_FALSE(deps->requiresOnboarding());
    EXPECT_EQ(ui.onboardingWindow(), nullptr); // closed itself
    EXPECT_EQ(kwtest::runTask(KeychainTokenStore(service).readToken()), QString("good-token"));
    EXPECT_EQ(deps->settings().workerName, "flow-test");
    // Onboarding is over: asking again (the tray-only main window does) opens nothing,
    // and Settings shows what onboarding applied, so its Save cannot undo it.
    ui.showOnboarding();
    EXPECT_EQ(ui.onboardingWindow(), nullptr);
    ui.showSettings();
    ASSERT_NE(ui.settingsWindow(), nullptr);
    EXPECT_EQ(named<QLineEdit>(ui.settingsWindow(), "settings.general.serverURL")->text(),
              server.server().baseURL().toString(QUrl::FullyEncoded));
    EXPECT_EQ(named<QLineEdit>(ui.settingsWindow(), "settings.general.workerName")->text(),
              "flow-test");
    ui.settingsWindow()->close();
    EXPECT_GT(listsSeen, 0);
    EXPECT_EQ(mismatches, 0);
    for (const char* id : {"job-a", "job-b"}) {
        QStringList actions;
        for (const MiniKestrel::Report& report : server.reports(id))
            actions << report.action;
        EXPECT_TRUE(actions.contains("complete")) << id << actions.join(',').toStdString();
    }

    auto* window = static_cast<MainWindow*>(ui.mainWindow());
    window->select(MainWindow::Tab::history);
    auto* table = named<QTableView>(window, "history.table");
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(kwtest::waitUntil([&] { return table->model()->rowCount() == 2; }));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(table->model()->index(row, 5).data().toString(), "Completed");
    }
    kwtest::runTask(KeychainTokenStore(service).deleteToken());
    deps->coordinator().stop();
}

} // namespace
