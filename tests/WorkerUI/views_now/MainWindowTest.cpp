// The main window: its size floors, the sidebar, tab switches that keep the
// view models' state, and the one-time onboarding request.
#include "views/mainwindow/MainWindow.h"

#include "ViewModelFakes.h"
#include "history/HistoryTabViewModel.h"
#include "log/LogTabViewModel.h"
#include "logging/LogStore.h"
#include "now/NowTabViewModel.h"
#include "records/JobHistoryStore.h"
#include "views/history/HistoryTabView.h"
#include "views/log/LogTabView.h"
#include "views/now/NowTabView.h"

#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Models {
    QTemporaryDir dir;
    vmtest::FakeEngine engine;
    JobHistoryStore history{dir.filePath("history.sqlite")};
    LogStore logs{dir.filePath("logs"), 100, 14};
    NowTabViewModel now{engine, 4};
    HistoryTabViewModel historyVM{history};
    LogTabViewModel logVM{logs, 1000};
};

TEST(MainWindowTest, SizeFloorsAndTitle) {
    Models m;
    MainWindow window(m.now, m.historyVM, m.logVM, m.dir.filePath("logs"), false);
    window.show();
    EXPECT_EQ(window.windowTitle(), "Kestrel Worker");
    window.resize(300, 200);
    EXPECT_GE(window.width(), 720);
    EXPECT_GE(window.height(), 480);
    auto* sidebar = window.findChild<QListWidget*>("main.sidebar");
    ASSERT_NE(sidebar, nullptr);
    EXPECT_GE(sidebar->minimumWidth(), 160);
    auto* splitter = window.findChild<QSplitter*>();
    splitter->setSizes({10, 2000});
    EXPECT_GE(splitter->sizes().value(0), 160);
    QStringList titles;
    for (int row = 0; row < sidebar->count(); ++row)
        titles << sidebar->item(row)->text();
    EXPECT_EQ(titles, (QStringList{"Now", "History", "Log"}));
}

TEST(MainWindowTest, SwitchingTabsRebuildsTheDetailButKeepsTheModelsState) {
    Models m;
    MainWindow window(m.now, m.historyVM, m.logVM, m.dir.filePath("logs"), false);
    window.show();
    m.engine.publish(EngineStatus::running(0));
    ASSERT_NE(qobject_cast<NowTabView*>(window.detail()), nullptr);

    window.findChild<QListWidget*>("main.sidebar")->setCurrentRow(1);
    EXPECT_EQ(window.selection(), MainWindow::Tab::history);
    EXPECT_NE(qobject_cast<HistoryTabView*>(window.detail()), nullptr);
    window.select(MainWindow::Tab::log);
    EXPECT_NE(qobject_cast<LogTabView*>(window.detail()), nullptr);
    EXPECT_EQ(window.findChild<QListWidget*>("main.sidebar")->currentRow(), 2);
    window.select(MainWindow::Tab::now);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Only the shown tab exists; the pill is what the engine last said.
    EXPECT_EQ(window.findChildren<NowTabView*>().size(), 1);
    EXPECT_TRUE(window.findChildren<LogTabView*>().isEmpty());
    EXPECT_EQ(window.detail()->findChild<QLabel*>("now.statusPill")->text(), "Polling — no jobs");
}

TEST(MainWindowTest, OnboardingIsRequestedOnceAndOnlyWhenRequired) {
    for (const bool required : {true, false}) {
        Models m;
        MainWindow window(m.now, m.historyVM, m.logVM, m.dir.filePath("logs"), required);
        int requests = 0;
        QObject::connect(&window, &MainWindow::onboardingRequested, [&] { ++requests; });
        window.show();
        QCoreApplication::processEvents();
        window.hide();
        window.select(MainWindow::Tab::history);
        window.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(requests, required ? 1 : 0) << required;
    }
}

} // namespace
