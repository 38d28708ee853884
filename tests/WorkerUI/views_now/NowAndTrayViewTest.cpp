// The Now tab and the tray, offscreen, found by their identifiers, over a
// scriptable engine (the real coordinator cannot be put in every state on cue).
#include "ViewModelFakes.h"
#include "now/NowTabViewModel.h"
#include "views/menubar/MenuBarExtra.h"
#include "views/menubar/MenuBarPopoverView.h"
#include "views/menubar/MenuBarStatusIcon.h"
#include "views/now/ActiveJobCard.h"
#include "views/now/NowTabView.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

namespace {

ActiveJob job(const QString& id, int percent, JobRecord::State state = JobRecord::State::encoding) {
    ActiveJob j;
    j.id = id;
    j.fileName = id + QStringLiteral("-a-rather-long-camera-original-file-name.mov");
    j.jobType = JobRecord::JobType::preview;
    j.state = state;
    j.percent = percent;
    j.startedAt = QDateTime::currentDateTimeUtc().addSecs(-75);
    return j;
}

template <typename T> T* find(QWidget& root, const char* name) {
    return root.findChild<T*>(QString::fromLatin1(name));
}

struct StatusCase {
    EngineStatus status;
    const char* mainButton;
    bool disconnectVisible;
    const char* pill;
};

class NowTabStates : public ::testing::TestWithParam<StatusCase> {};

TEST_P(NowTabStates, ButtonsAndPillFollowTheEngine) {
    vmtest::FakeEngine engine;
    NowTabViewModel model(engine, 4);
    NowTabView view(model);
    view.resize(540, 480);
    view.show();
    engine.publish(GetParam().status);
    EXPECT_EQ(find<QLabel>(view, "now.statusPill")->text(), GetParam().pill);
    EXPECT_EQ(find<QPushButton>(view, "now.startPauseButton")->text(), GetParam().mainButton);
    EXPECT_EQ(find<QPushButton>(view, "now.disconnectButton")->isVisible(),
              GetParam().disconnectVisible);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, NowTabStates,
    ::testing::Values(StatusCase{EngineStatus::stopped(), "Start", false, "Idle"},
                      StatusCase{EngineStatus::running(0), "Pause", true, "Polling — no jobs"},
                      StatusCase{EngineStatus::running(2), "Pause", true, "Working: 2 of 4"},
                      StatusCase{EngineStatus::paused(), "Resume", true, "Paused"},
                      StatusCase{EngineStatus::error("Token rejected (401)"), "Start", false,
                                 "Error: Token rejected (401)"}));

TEST(NowTabViewTest, MainButtonAndReturnDriveTheEngine) {
    vmtest::FakeEngine engine;
    NowTabViewModel model(engine, 2);
    NowTabView view(model);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    find<QPushButton>(view, "now.startPauseButton")->click();
    EXPECT_EQ(engine.calls, QStringList{"start"});
    engine.publish(EngineStatus::running(0));
    QTest::keyClick(view.windowHandle(), Qt::Key_Return); // through the window, as a real key
    EXPECT_EQ(engine.calls, (QStringList{"start", "pause"}));
    find<QPushButton>(view, "now.disconnectButton")->click();
    EXPECT_EQ(engine.calls.last(), "stop");
}

TEST(NowTabViewTest, CardsFollowTheListAndCancelReachesTheEngine) {
    vmtest::FakeEngine engine;
    NowTabViewModel model(engine, 4);
    NowTabView view(model);
    view.resize(540, 480);
    view.show();
    EXPECT_TRUE(find<QWidget>(view, "now.emptyState")->isVisible());
    EXPECT_EQ(find<QLabel>(view, "now.emptyState.description")->text(), "Polling is stopped.");

    engine.publish(EngineStatus::running(2));
    engine.publishJobs({job("a", 10, JobRecord::State::downloading), job("b", 45)});
    QList<ActiveJobCard*> cards = view.findChildren<ActiveJobCard*>();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_FALSE(find<QWidget>(view, "now.emptyState")->isVisible());
    ActiveJobCard* b = cards[0]->job().id == "b" ? cards[0] : cards[1];
    EXPECT_EQ(find<QProgressBar>(*b, "now.jobCard.progress")->value(), 45);
    EXPECT_EQ(find<QLabel>(*b, "now.jobCard.state")->text(), "Encoding");
    EXPECT_EQ(find<QLabel>(*b, "now.jobCard.elapsed")->text(), "1:15");
    find<QPushButton>(*b, "now.jobCard.cancel")->click();
    EXPECT_EQ(engine.calls.last(), "cancelJob:b");

    // A progress report updates the same card; a finished job's card goes.
    engine.publishJobs({job("b", 70, JobRecord::State::uploading)});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    cards = view.findChildren<ActiveJobCard*>();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0], b);
    EXPECT_EQ(find<QProgressBar>(*b, "now.jobCard.progress")->value(), 70);
    EXPECT_EQ(find<QLabel>(*b, "now.jobCard.state")->text(), "Uploading");
}

struct IconCase {
    EngineStatus status;
    int jobs;
    MenuBarStatusIcon::State expected;
    const char* symbol;
    std::optional<QString> badge;
};

class TrayIconStates : public ::testing::TestWithParam<IconCase> {};

TEST_P(TrayIconStates, IconAndBadgeFollowThePill) {
    vmtest::FakeEngine engine;
    NowTabViewModel model(engine, 4);
    MenuBarExtra tray(
        model, [] {}, [] {});
    QList<ActiveJob> jobs;
    for (int i = 0; i < GetParam().jobs; ++i)
        jobs.append(job(QString::number(i), 10 * i));
    engine.publishJobs(jobs);
    engine.publish(GetParam().status);
    EXPECT_EQ(tray.state(), GetParam().expected);
    EXPECT_EQ(tray.state().symbolName(), GetParam().symbol);
    EXPECT_EQ(tray.state().badgeText(), GetParam().badge);
    EXPECT_FALSE(tray.trayIcon().icon().isNull());
}

using State = MenuBarStatusIcon::State;
INSTANTIATE_TEST_SUITE_P(
    Engine, TrayIconStates,
    ::testing::Values(
        IconCase{EngineStatus::stopped(), 0, State::idle(0), "tray", std::nullopt},
        IconCase{EngineStatus::running(0), 0, State::working(0), "tray.full.fill", std::nullopt},
        IconCase{EngineStatus::running(3), 3, State::working(3), "tray.full.fill", QString("3")},
        IconCase{EngineStatus::paused(), 2, State::idle(0), "tray", std::nullopt},
        IconCase{EngineStatus::error("x"), 1, State::errored(), "exclamationmark.triangle.fill",
                 std::nullopt}));

TEST(TrayIconTest, BadgedIconsDifferFromPlainOnes) {
    const QImage plain = MenuBarStatusIcon::render(State::working(0)).pixmap(32).toImage();
    const QImage badged = MenuBarStatusIcon::render(State::working(3)).pixmap(32).toImage();
    const QImage idle = MenuBarStatusIcon::render(State::idle(0)).pixmap(32).toImage();
    EXPECT_NE(plain, badged);
    EXPECT_NE(plain, idle);
}

TEST(TrayPanelTest, ListsJobsAndDrivesTheEngine) {
    vmtest::FakeEngine engine;
    NowTabViewModel model(engine, 4);
    int opened = 0;
    int quits = 0;
    MenuBarPopoverView panel(
        model, [&] { ++opened; }, [&] { ++quits; });
    panel.show();
    EXPECT_EQ(find<QLabel>(panel, "menuBar.status")->text(), "Idle");
    EXPECT_NE(find<QLabel>(panel, "menuBar.noJobs"), nullptr);
    QPushButton* pause = find<QPushButton>(panel, "menuBar.pauseButton");
    EXPECT_EQ(pause->text(), "Resume");
    pause->click();
    EXPECT_EQ(engine.calls, QStringList{"start"});

    engine.publish(EngineStatus::running(2));
    engine.publishJobs({job("a", 45), job("b", 5)});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(pause->text(), "Pause");
    QStringList percents;
    for (QLabel* label : panel.findChildren<QLabel*>("menuBar.job.percent"))
        percents << label->text();
    percents.sort();
    EXPECT_EQ(percents, (QStringList{"45%", "5%"}));
    pause->click();
    EXPECT_EQ(engine.calls.last(), "pause");
    engine.publish(EngineStatus::paused());
    EXPECT_EQ(pause->text(), "Resume");

    find<QPushButton>(panel, "menuBar.openMainWindow")->click();
    find<QPushButton>(panel, "menuBar.quit")->click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(quits, 1);
}

} // namespace
