#include "views/history/HistoryTabView.h"

#include "HistLogTestSupport.h"
#include "RunTask.h"
#include "common/ToneColors.h"
#include "history/HistoryTabViewModel.h"
#include "log/JobLogSheetModel.h"
#include "logging/LogStore.h"
#include "records/JobHistoryStore.h"
#include "views/history/HistoryTableModel.h"
#include "views/history/JobLogSheet.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

using State = JobRecord::State;
using Column = HistoryTableModel::Column;

const QDateTime kBase(QDate(2025, 3, 7), QTime(9, 0), QTimeZone::utc());

JobRecord record(const QString& id, const QString& fileName, int minutesAfterBase, State state,
                 std::optional<QString> key = std::nullopt) {
    JobRecord r;
    r.id = id;
    r.jobType = JobRecord::JobType::preview;
    r.fileName = fileName;
    r.state = state;
    r.startedAt = kBase.addSecs(minutesAfterBase * 60);
    if (!JobRecord::isInFlight(state)) {
        r.endedAt = r.startedAt.addSecs(30);
    }
    r.outputS3Key = key;
    return r;
}

QStringList titles(const QMenu* menu) {
    QStringList list;
    for (const QAction* action : menu->actions()) {
        list << action->text();
    }
    return list;
}

QAction* item(const QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

QString cell(const QTableView* table, int row, int column, int role = Qt::DisplayRole) {
    return table->model()->index(row, column).data(role).toString();
}

QStringList shownIDs(const QTableView* table) {
    QStringList ids;
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        ids << cell(table, row, 0, HistoryTableModel::jobIDRole);
    }
    return ids;
}

int rowOf(const QTableView* table, const QString& jobID) {
    return static_cast<int>(shownIDs(table).indexOf(jobID));
}

void clickRow(QTableView* table, const QString& jobID) {
    const int row = rowOf(table, jobID);
    ASSERT_GE(row, 0) << jobID.toStdString();
    const QRect cellRect = table->visualRect(table->model()->index(row, Column::fileColumn));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellRect.center());
}

class HistoryViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        store = std::make_unique<JobHistoryStore>(temp.filePath("history.sqlite"));
    }

    QTableView* table(const HistoryTabView& view) {
        return view.findChild<QTableView*>(QStringLiteral("history.table"));
    }

    QTemporaryDir temp;
    std::unique_ptr<JobHistoryStore> store;
};

} // namespace

TEST_F(HistoryViewTest, ContextMenuItemsFollowTheRowAndCopyReachesTheClipboard) {
    store->insert(record("job-key", "a.mov", 1, State::completed, QString("outputs/a.mp4")));
    store->insert(record("job-failed", "b.mov", 2, State::failed));
    store->insert(record("job-done", "c.mov", 3, State::completed));
    store->insert(record("job-encoding", "d.mov", 4, State::encoding));
    HistoryTabViewModel model(*store);
    QStringList copiedBeforeTheView;
    model.setOnCopy([&](const QString& text) { copiedBeforeTheView << text; });

    HistoryTabView view(model, temp.filePath("logs"));
    view.resize(540, 480);
    view.show();
    QTableView* shown = table(view);
    ASSERT_NE(shown, nullptr);
    // Showing the tab loaded the rows, newest first.
    ASSERT_EQ(shownIDs(shown), (QStringList{"job-encoding", "job-done", "job-failed", "job-key"}));

    const struct {
        const char* jobID;
        QStringList items;
    } cases[] = {
        {"job-key", {"Reveal output S3 key", "Copy job ID", "Re-report as failed"}},
        {"job-failed", {"Copy job ID"}},
        {"job-done", {"Copy job ID", "Re-report as failed"}},
        {"job-encoding", {"Copy job ID"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jobID);
        std::unique_ptr<QMenu> menu(view.contextMenuFor(rowOf(shown, c.jobID)));
        EXPECT_EQ(titles(menu.get()), c.items);
    }
    std::unique_ptr<QMenu> outside(view.contextMenuFor(4));
    EXPECT_TRUE(outside->isEmpty());

    // The view's clipboard writer replaced the earlier copy action.
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");
    {
        std::unique_ptr<QMenu> menu(view.contextMenuFor(rowOf(shown, "job-failed")));
        item(menu.get(), "Copy job ID")->trigger();
    }
    EXPECT_EQ(clipboard->text(), "job-failed");
    EXPECT_TRUE(copiedBeforeTheView.isEmpty());

    // Copy goes through the view model's copy action; the key goes to the
    // clipboard directly.
    QStringList copied;
    model.setOnCopy([&](const QString& text) { copied << text; });
    std::unique_ptr<QMenu> menu(view.contextMenuFor(rowOf(shown, "job-key")));
    item(menu.get(), "Reveal output S3 key")->trigger();
    EXPECT_EQ(clipboard->text(), "outputs/a.mp4");
    EXPECT_TRUE(copied.isEmpty());
    item(menu.get(), "Copy job ID")->trigger();
    EXPECT_EQ(copied, QStringList{"job-key"});
    EXPECT_EQ(clipboard->text(), "outputs/a.mp4");
}

TEST_F(HistoryViewTest, SearchFieldFiltersTheTableAndColumnsShowTheRecords) {
    JobRecord master = record("job-1", "Interview_ABC.mov", 1, State::completed,
                              QString("outputs/job-1/master.mov"));
    master.jobType = JobRecord::JobType::prores;
    master.durationSeconds = 3725;
    master.outputSizeBytes = 1'500'000;
    store->insert(master);
    store->insert(record("job-2", "b-roll.mov", 2, State::completed, QString("outputs/abc/p.mp4")));
    JobRecord failed = record("job-3", "c.mov", 3, State::failed);
    failed.jobType = JobRecord::JobType::thumbnail;
    store->insert(failed);
    HistoryTabViewModel model(*store);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    auto view = std::make_unique<HistoryTabView>(model, temp.filePath("logs"));
    view->show();
    QTableView* shown = table(*view);
    ASSERT_EQ(shownIDs(shown), (QStringList{"job-3", "job-2", "job-1"}));

    const int masterRow = rowOf(shown, "job-1");
    EXPECT_EQ(cell(shown, masterRow, Column::typeColumn), "Prores");
    EXPECT_EQ(cell(shown, masterRow, Column::fileColumn), "Interview_ABC.mov");
    EXPECT_EQ(cell(shown, masterRow, Column::durationColumn), "3725s");
    EXPECT_EQ(cell(shown, masterRow, Column::sizeColumn), "1.5 MB");
    EXPECT_EQ(cell(shown, masterRow, Column::resultColumn), "Completed");
    EXPECT_FALSE(
        shown->model()->index(masterRow, Column::resultColumn).data(Qt::ForegroundRole).isValid());
    const int failedRow = rowOf(shown, "job-3");
    EXPECT_EQ(cell(shown, failedRow, Column::typeColumn), "Thumbnail");
    EXPECT_EQ(cell(shown, failedRow, Column::durationColumn), QString(QChar(0x2014)));
    EXPECT_EQ(cell(shown, failedRow, Column::sizeColumn), QString(QChar(0x2014)));
    EXPECT_EQ(cell(shown, failedRow, Column::resultColumn), "Failed");
    EXPECT_EQ(shown->model()
                  ->index(failedRow, Column::resultColumn)
                  .data(Qt::ForegroundRole)
                  .value<QColor>(),
              toneColor(Tone::red, shown->palette()));

    auto* search = view->findChild<QLineEdit*>(QStringLiteral("history.searchField"));
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->placeholderText(), "Search file name, id, or S3 key");
    QTest::keyClicks(search, "ABC");
    EXPECT_EQ(model.searchText(), "ABC");
    // By output key and by file name; job-3 has neither.
    EXPECT_EQ(shownIDs(shown), (QStringList{"job-2", "job-1"}));
    search->setText(" \n ");
    EXPECT_EQ(shownIDs(shown), (QStringList{"job-3", "job-2", "job-1"}));
    search->setText("JOB-3");
    EXPECT_EQ(shownIDs(shown), QStringList{"job-3"});

    // A rebuilt tab shows the search the view model kept.
    view.reset();
    model.setSearchText("master");
    HistoryTabView rebuilt(model, temp.filePath("logs"));
    rebuilt.show();
    EXPECT_EQ(rebuilt.findChild<QLineEdit*>(QStringLiteral("history.searchField"))->text(),
              "master");
    EXPECT_EQ(shownIDs(table(rebuilt)), QStringList{"job-1"});
}

TEST_F(HistoryViewTest, ReReportAsFailedUpdatesTheRow) {
    store->insert(record("job-1", "a.mov", 1, State::completed, QString("outputs/a.mp4")));
    store->insert(record("job-2", "b.mov", 2, State::completed));
    HistoryTabViewModel model(*store);
    HistoryTabView view(model, temp.filePath("logs"));
    view.show();
    QTableView* shown = table(view);
    ASSERT_EQ(cell(shown, rowOf(shown, "job-1"), Column::resultColumn), "Completed");

    {
        std::unique_ptr<QMenu> menu(view.contextMenuFor(rowOf(shown, "job-1")));
        QAction* reReport = item(menu.get(), "Re-report as failed");
        ASSERT_NE(reReport, nullptr);
        reReport->trigger();
    }
    const int row = rowOf(shown, "job-1");
    EXPECT_EQ(cell(shown, row, Column::resultColumn), "Failed");
    EXPECT_EQ(
        shown->model()->index(row, Column::resultColumn).data(Qt::ForegroundRole).value<QColor>(),
        toneColor(Tone::red, shown->palette()));
    EXPECT_EQ(cell(shown, rowOf(shown, "job-2"), Column::resultColumn), "Completed");

    const std::optional<JobRecord> stored = store->record("job-1");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->state, State::failed);
    ASSERT_TRUE(stored->errorMessage.has_value());
    EXPECT_TRUE(stored->errorMessage->startsWith("Re-reported as failed by operator at "));
    EXPECT_EQ(stored->outputS3Key, QString("outputs/a.mp4"));

    // A failed row can no longer be re-reported.
    std::unique_ptr<QMenu> menu(view.contextMenuFor(row));
    EXPECT_EQ(titles(menu.get()), (QStringList{"Reveal output S3 key", "Copy job ID"}));
}

TEST_F(HistoryViewTest, SelectingARowOpensItsLogSheetWithTheLinesOfTheDayFiles) {
    const QString logs = temp.filePath("logs");
    QDateTime now(QDate(2025, 3, 6), QTime(23, 59, 58), QTimeZone::utc());
    QStringList expected;
    {
        LogStore logStore(logs, 100, 14, nullptr, [&] { return now; });
        logStore.log(LogEvent::Level::info, "job", "Downloading", QString("j1"));
        logStore.log(LogEvent::Level::info, "job", "Other job", QString("j2"));
        now = now.addSecs(4); // the next UTC day, another file
        logStore.log(LogEvent::Level::error, "job", "Job failed: boom", QString("j1"));
        logStore.log(LogEvent::Level::warn, "poll", "claim failed");
        for (const LogEvent& event : logStore.snapshot()) {
            if (event.jobID == QString("j1")) {
                expected << event.formattedLine();
            }
        }
        kwtest::runTask(logStore.flush());
    }
    ASSERT_TRUE(QFile::exists(logs + "/worker-2025-03-06.log"));
    ASSERT_TRUE(QFile::exists(logs + "/worker-2025-03-07.log"));

    store->insert(record("j1", "a.mov", 1, State::failed));
    store->insert(record("j2", "b.mov", 2, State::completed));
    store->insert(record("j3", "c.mov", 3, State::completed));
    HistoryTabViewModel model(*store);
    HistoryTabView view(model, logs);
    view.resize(540, 480);
    view.show();
    QTableView* shown = table(view);
    EXPECT_FALSE(view.sheetJobID().has_value());

    clickRow(shown, "j1");
    QPointer<JobLogSheet> sheet = view.sheet();
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(view.sheetJobID(), QString("j1"));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->findChild<QLabel*>(QStringLiteral("jobLog.title"))->text(), "Log for job j1");
    auto* content = sheet->findChild<QPlainTextEdit*>(QStringLiteral("jobLog.content"));
    ASSERT_NE(content, nullptr);
    ASSERT_TRUE(kwtest::waitUntil(
        [&] { return content->toPlainText() != JobLogSheetModel::loadingText(); }));
    // The older day's line first, nothing of other jobs or of no job.
    EXPECT_EQ(content->toPlainText(), expected.join('\n'));
    EXPECT_EQ(expected.size(), 2);

    // Done dismisses the sheet and keeps the selection.
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("jobLog.doneButton")),
                      Qt::LeftButton);
    EXPECT_FALSE(view.sheetJobID().has_value());
    EXPECT_TRUE(sheet.isNull() || !sheet->isVisible());
    ASSERT_EQ(shown->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(shown->selectionModel()->selectedRows().first().data(HistoryTableModel::jobIDRole),
              "j1");

    // A job no line mentions; Escape dismisses.
    clickRow(shown, "j3");
    sheet = view.sheet();
    ASSERT_FALSE(sheet.isNull());
    content = sheet->findChild<QPlainTextEdit*>(QStringLiteral("jobLog.content"));
    ASSERT_TRUE(kwtest::waitUntil(
        [&] { return content->toPlainText() != JobLogSheetModel::loadingText(); }));
    EXPECT_EQ(content->toPlainText(), "(no log lines for this job)");
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(view.sheetJobID().has_value());

    // A reload keeps the selection and opens no sheet.
    QTest::mouseClick(view.findChild<QToolButton*>(QStringLiteral("history.refreshButton")),
                      Qt::LeftButton);
    EXPECT_FALSE(view.sheetJobID().has_value());
    ASSERT_EQ(shown->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(shown->selectionModel()->selectedRows().first().data(HistoryTableModel::jobIDRole),
              "j3");
}
