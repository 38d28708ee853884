#include "views/log/LogTabView.h"

#include "HistLogTestSupport.h"
#include "RunTask.h"
#include "common/ToneColors.h"
#include "log/LogTabViewModel.h"
#include "logging/LogStore.h"
#include "views/log/FileManagerReveal.h"

#include <QAbstractButton>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Level = LogEvent::Level;

QStringList shownLines(const QListView* list) {
    QStringList lines;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        lines << list->model()->index(row, 0).data().toString();
    }
    return lines;
}

QStringList lines(const QList<LogEvent>& events) {
    QStringList list;
    for (const LogEvent& event : events) {
        list << event.formattedLine();
    }
    return list;
}

QListView* logList(const QWidget& view) {
    return view.findChild<QListView*>(QStringLiteral("log.list"));
}

void pickLevel(const QWidget& view, const char* level) {
    auto* segment = view.findChild<QAbstractButton*>(QStringLiteral("log.levelPicker.") + level);
    ASSERT_NE(segment, nullptr) << level;
    QTest::mouseClick(segment, Qt::LeftButton);
}

// The list's newest row sits at the bottom of the visible area.
bool newestRowAtBottom(QListView* list) {
    const int rows = list->model()->rowCount();
    if (rows == 0) {
        return false;
    }
    const QRect last = list->visualRect(list->model()->index(rows - 1, 0));
    QScrollBar* bar = list->verticalScrollBar();
    return bar->maximum() > 0 && bar->value() == bar->maximum() &&
           last.bottom() <= list->viewport()->height() && last.top() >= 0;
}

} // namespace

TEST(LogTabView, ShowsTheStoreLinesNarrowedByLevelAndSearch) {
    QTemporaryDir temp;
    LogStore store(temp.filePath("logs"), 100, 14);
    store.log(Level::debug, "poll", "debug upload line");
    store.log(Level::info, "job", "Started upload", QString("j1"));
    store.log(Level::info, "UPLOADER", "category match");
    store.log(Level::warn, "job", "job id match", QString("upload-77"));
    store.log(Level::warn, "poll", "claim error: Token rejected (401)");
    store.log(Level::error, "job", "Job failed: boom", QString("j2"));
    const QList<LogEvent> logged = store.snapshot();
    ASSERT_EQ(logged.size(), 6);
    LogTabViewModel model(store, 1000);

    auto view = std::make_unique<LogTabView>(model, temp.filePath("logs"));
    view->resize(540, 480);
    view->show();
    QListView* list = logList(*view);
    ASSERT_NE(list, nullptr);
    // Info and above by default.
    EXPECT_EQ(shownLines(list), lines(logged.mid(1)));
    EXPECT_EQ(list->model()->index(4, 0).data(Qt::ForegroundRole).value<QColor>(),
              toneColor(Tone::red, list->palette()));
    EXPECT_EQ(list->model()->index(2, 0).data(Qt::ForegroundRole).value<QColor>(),
              toneColor(Tone::orange, list->palette()));

    pickLevel(*view, "warn");
    EXPECT_EQ(model.minimumLevel(), Level::warn);
    EXPECT_EQ(shownLines(list), lines(logged.mid(3)));

    auto* search = view->findChild<QLineEdit*>(QStringLiteral("log.searchField"));
    ASSERT_NE(search, nullptr);
    QTest::keyClicks(search, "Upload");
    EXPECT_EQ(model.searchText(), "Upload");
    // Warn and above: only the job id matches; the message and category matches are info.
    EXPECT_EQ(shownLines(list), lines(logged.mid(3, 1)));
    pickLevel(*view, "debug");
    EXPECT_EQ(shownLines(list), lines(logged.mid(0, 4)));
    search->setText(" \t ");
    EXPECT_EQ(shownLines(list), lines(logged));
    search->setText("Upload");

    // Live events: one that matches is added at the end, one that does not is not.
    store.log(Level::info, "job", "Upload finished", QString("j9"));
    store.log(Level::info, "job", "Encoding", QString("j9"));
    const QList<LogEvent> all = store.snapshot();
    EXPECT_EQ(shownLines(list), lines(logged.mid(0, 4)) << all[6].formattedLine());

    // A rebuilt tab shows the level and search the view model kept.
    view.reset();
    LogTabView rebuilt(model, temp.filePath("logs"));
    rebuilt.show();
    EXPECT_TRUE(
        rebuilt.findChild<QAbstractButton*>(QStringLiteral("log.levelPicker.debug"))->isChecked());
    EXPECT_FALSE(
        rebuilt.findChild<QAbstractButton*>(QStringLiteral("log.levelPicker.warn"))->isChecked());
    EXPECT_EQ(rebuilt.findChild<QLineEdit*>(QStringLiteral("log.searchField"))->text(), "Upload");
    EXPECT_EQ(shownLines(logList(rebuilt)), lines(logged.mid(0, 4)) << all[6].formattedLine());
}

TEST(LogTabView, TheListFollowsTheNewestLine) {
    QTemporaryDir temp;
    LogStore store(temp.filePath("logs"), 1000, 14);
    for (int i = 0; i < 150; ++i) {
        store.log(Level::info, "poll", QString("line %1").arg(i));
    }
    // Room for 100: every new event also drops the oldest row.
    LogTabViewModel model(store, 100);
    LogTabView view(model, temp.filePath("logs"));
    view.resize(540, 480);
    view.show();
    QListView* list = logList(view);
    ASSERT_EQ(list->model()->rowCount(), 100);
    EXPECT_TRUE(kwtest::waitUntil([&] { return newestRowAtBottom(list); }));

    QScrollBar* bar = list->verticalScrollBar();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        bar->setValue(0);
        store.log(i == 1 ? Level::error : Level::info, "job", QString("new %1").arg(i));
        EXPECT_EQ(shownLines(list), lines(model.filtered()));
        EXPECT_EQ(shownLines(list).last(), store.snapshot().last().formattedLine());
        EXPECT_TRUE(newestRowAtBottom(list));
    }

    // An event the filter hides leaves the position alone.
    bar->setValue(0);
    store.log(Level::debug, "poll", "hidden");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(shownLines(list), lines(model.filtered()));
    EXPECT_EQ(list->model()->rowCount(), 99);

    // A new filter shows its own newest row at the bottom.
    bar->setValue(0);
    view.findChild<QLineEdit*>(QStringLiteral("log.searchField"))->setText("line 1");
    EXPECT_EQ(shownLines(list), lines(model.filtered()));
    EXPECT_TRUE(newestRowAtBottom(list));
}

TEST(LogTabView, ShowInFileManagerAsksTheFileManagerOrOpensTheFolder) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        GTEST_SKIP() << "no session bus (the test script provides one)";
    }
    QTemporaryDir temp;
    const QString logs = temp.filePath("logs");
    ASSERT_TRUE(QDir().mkpath(logs));

    // No file manager on the bus: the folder is opened instead.
    ASSERT_FALSE(bus.interface()->isServiceRegistered(FileManagerReveal::service).value());
    QList<QUrl> opened;
    FileManagerReveal fallback(bus, [&](const QUrl& folder) { opened << folder; });
    fallback.reveal(logs);
    ASSERT_TRUE(kwtest::waitUntil([&] { return !opened.isEmpty(); }));
    fallback.reveal(logs + "/worker-2025-03-07.log");
    ASSERT_TRUE(kwtest::waitUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(logs), QUrl::fromLocalFile(logs)}));

    // With one, the tab's button asks it to show the log folder selected.
    const QString connectionName = QStringLiteral("histlog-file-manager");
    QDBusConnection fileManagerBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    histlogtest::FakeFileManager fileManager;
    ASSERT_TRUE(fileManagerBus.registerObject(FileManagerReveal::objectPath, &fileManager,
                                              QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(fileManagerBus.registerService(FileManagerReveal::service));

    LogStore store(logs, 10, 14);
    LogTabViewModel model(store, 10);
    LogTabView view(model, logs);
    view.show();
    auto* button = view.findChild<QPushButton*>(QStringLiteral("log.revealButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Show in File Manager");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(kwtest::waitUntil([&] { return !fileManager.shownItems.isEmpty(); }));
    EXPECT_EQ(fileManager.shownItems, (QList<QStringList>{{QUrl::fromLocalFile(logs).toString()}}));

    fileManagerBus.unregisterService(FileManagerReveal::service);
    QDBusConnection::disconnectFromBus(connectionName);
}
