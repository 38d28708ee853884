#include "history/HistoryTabViewModel.h"

#include "ViewModelFakes.h"
#include "records/HistoryError.h"
#include "records/JobHistoryStore.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

using State = JobRecord::State;
using Action = HistoryTabViewModel::ContextAction;

const QDateTime kBase(QDate(2025, 3, 7), QTime(9, 0), QTimeZone::utc());

JobRecord record(const QString& id, const QString& fileName, int minutesAfterBase,
                 State state = State::completed, std::optional<QString> key = std::nullopt) {
    JobRecord r;
    r.id = id;
    r.jobType = JobRecord::JobType::preview;
    r.fileName = fileName;
    r.state = state;
    r.startedAt = kBase.addSecs(minutesAfterBase * 60);
    if (state == State::completed || state == State::failed) {
        r.endedAt = r.startedAt.addSecs(30);
    }
    if (key) {
        r.outputS3Key = key;
        r.outputSizeBytes = 1234;
        r.durationSeconds = 12;
    }
    return r;
}

QStringList ids(const QList<JobRecord>& rows) {
    QStringList list;
    for (const JobRecord& row : rows) {
        list << row.id;
    }
    return list;
}

class HistoryTabTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = temp.filePath("history.sqlite");
        store = std::make_unique<JobHistoryStore>(path);
    }

    // Direct SQL on the same file, for states the store itself never writes.
    void sql(const char* statement) {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
        db.exec(statement);
    }

    QTemporaryDir temp;
    QString path;
    std::unique_ptr<JobHistoryStore> store;
};

} // namespace

TEST_F(HistoryTabTest, SearchMatchesFileNameIdOrKeyOfTheLoadedRows) {
    store->insert(record("job-1", "Interview_abc.mov", 1));
    store->insert(record("job-2", "b-roll.mov", 2, State::completed, QString("outputs/ABC/p.mp4")));
    store->insert(record("aBc-job", "c.mov", 3, State::failed));
    store->insert(record("job-4", "d.mov", 4, State::failed));
    HistoryTabViewModel model(*store);
    model.refresh();
    ASSERT_EQ(ids(model.rows()), (QStringList{"job-4", "aBc-job", "job-2", "job-1"}));

    const struct {
        const char* query;
        QStringList expected;
    } cases[] = {
        {"", {"job-4", "aBc-job", "job-2", "job-1"}},
        {" \n\t \r\n", {"job-4", "aBc-job", "job-2", "job-1"}},
        {"ABC", {"aBc-job", "job-2", "job-1"}}, // id, key, file name
        {"  abc ", {"aBc-job", "job-2", "job-1"}},
        {"outputs/", {"job-2"}},
        {"JOB-4", {"job-4"}},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        model.setSearchText(c.query);
        EXPECT_EQ(ids(model.filteredRows()), c.expected);
    }
    // Filtering never changes what is loaded.
    EXPECT_EQ(model.rows().size(), 4);
}

TEST_F(HistoryTabTest, OnlyTheFiftyNewestAreLoadedOrSearched) {
    for (int i = 0; i < 55; ++i) {
        const QString name = i < 5 ? QString("ancient-%1.mov").arg(i) : QString("f%1.mov").arg(i);
        store->insert(record(QString("job-%1").arg(i), name, i));
    }
    HistoryTabViewModel model(*store);
    model.refresh();
    ASSERT_EQ(model.rows().size(), HistoryTabViewModel::historyRowLimit);
    EXPECT_EQ(model.rows().first().id, "job-54");
    EXPECT_EQ(model.rows().last().id, "job-5");
    model.setSearchText("ancient");
    EXPECT_TRUE(model.filteredRows().isEmpty());
}

TEST_F(HistoryTabTest, AFailedLoadEmptiesTheRowsUntilTheNextGoodOne) {
    store->insert(record("job-1", "a.mov", 1));
    HistoryTabViewModel model(*store);
    model.refresh();
    ASSERT_EQ(model.rows().size(), 1);

    // A row the store cannot read back makes the whole load fail.
    sql(R"(INSERT INTO "jobs" ("id","jobType","fileName","state","startedAt")
           VALUES ('bad','prores','x.mov','exploded','2025-03-07 10:00:00.000'))");
    int errorSignals = 0;
    QObject::connect(&model, &HistoryTabViewModel::loadErrorChanged, [&] { ++errorSignals; });
    model.refresh();
    EXPECT_TRUE(model.rows().isEmpty());
    ASSERT_TRUE(model.loadError().has_value());
    EXPECT_FALSE(model.loadError()->isEmpty());
    EXPECT_EQ(errorSignals, 1);

    sql(R"(DELETE FROM "jobs" WHERE "id" = 'bad')");
    model.refresh();
    EXPECT_EQ(ids(model.rows()), QStringList{"job-1"});
    EXPECT_FALSE(model.loadError().has_value());
    EXPECT_EQ(errorSignals, 2);
}

TEST_F(HistoryTabTest, ReReportMarksTheLocalRecordFailedAndKeepsItsResults) {
    JobRecord done = record("job-1", "a.mov", 1, State::completed, QString("out/a.mp4"));
    done.errorMessage = "earlier note";
    store->insert(done);
    const QDateTime now(QDate(2025, 3, 8), QTime(17, 4, 5, 678), QTimeZone::utc());
    HistoryTabViewModel model(*store, nullptr, [now] { return now; });
    model.refresh();
    ASSERT_EQ(model.rows().first().state, State::completed);

    model.reReportAsFailed("job-1");

    // Read back through a second connection: the change is in the file.
    JobHistoryStore reopened(path);
    const std::optional<JobRecord> stored = reopened.record("job-1");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->state, State::failed);
    EXPECT_EQ(stored->errorMessage,
              QString("Re-reported as failed by operator at 2025-03-08 17:04:05 +0000"));
    EXPECT_EQ(stored->endedAt, now);
    EXPECT_EQ(stored->startedAt, done.startedAt);
    EXPECT_EQ(stored->durationSeconds, done.durationSeconds);
    EXPECT_EQ(stored->outputSizeBytes, done.outputSizeBytes);
    EXPECT_EQ(stored->outputS3Key, done.outputS3Key);
    EXPECT_EQ(stored->fileName, done.fileName);
    EXPECT_EQ(stored->jobType, done.jobType);
    // The table was reloaded.
    EXPECT_EQ(model.rows().first().state, State::failed);
    EXPECT_EQ(HistoryTabViewModel::resultTone(model.rows().first().state), Tone::red);
}

TEST_F(HistoryTabTest, ReReportOfAnUnknownIdDoesNothing) {
    store->insert(record("job-1", "a.mov", 1));
    HistoryTabViewModel model(*store);
    model.refresh();
    int reloads = 0;
    QObject::connect(&model, &HistoryTabViewModel::rowsChanged, [&] { ++reloads; });
    model.reReportAsFailed("gone");
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(store->record("job-1")->state, State::completed);
}

TEST_F(HistoryTabTest, AFailedReReportLeavesRecordAndTableAlone) {
    store->insert(record("job-1", "a.mov", 1, State::completed, QString("out/a.mp4")));
    HistoryTabViewModel model(*store);
    model.refresh();
    sql(R"(CREATE TRIGGER "frozen" BEFORE UPDATE ON "jobs"
           BEGIN SELECT RAISE(ABORT, 'history is read-only'); END)");
    int reloads = 0;
    QObject::connect(&model, &HistoryTabViewModel::rowsChanged, [&] { ++reloads; });

    EXPECT_THROW(model.reReportAsFailed("job-1"), HistoryError);
    // From the menu the failure is swallowed.
    model.triggerContextAction(Action::reReportAsFailed, "job-1");

    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(model.rows().first().state, State::completed);
    EXPECT_EQ(store->record("job-1")->state, State::completed);
    EXPECT_FALSE(store->record("job-1")->errorMessage.has_value());
}

TEST_F(HistoryTabTest, ContextMenuItemsFollowTheFirstRow) {
    store->insert(record("done-key", "a.mov", 1, State::completed, QString("out/a.mp4")));
    store->insert(record("failed-bare", "b.mov", 2, State::failed));
    store->insert(record("done-bare", "c.mov", 3, State::completed));
    store->insert(record("encoding-key", "d.mov", 4, State::encoding, QString("out/d.mp4")));
    HistoryTabViewModel model(*store);
    model.refresh();
    // Rows hidden by the search are still found.
    model.setSearchText("no such row");

    const struct {
        QStringList ids;
        QList<Action> expected;
    } cases[] = {
        {{"done-key"}, {Action::revealOutputS3Key, Action::copyJobID, Action::reReportAsFailed}},
        {{"failed-bare"}, {Action::copyJobID}},
        {{"done-bare"}, {Action::copyJobID, Action::reReportAsFailed}},
        {{"encoding-key"}, {Action::revealOutputS3Key, Action::copyJobID}},
        {{"failed-bare", "done-key"}, {Action::copyJobID}},
        {{}, {}},
        {{"not-loaded"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids.join(",").toStdString());
        EXPECT_EQ(model.contextActions(c.ids), c.expected);
    }
    EXPECT_EQ(HistoryTabViewModel::contextActionTitle(Action::revealOutputS3Key),
              "Reveal output S3 key");
    EXPECT_EQ(HistoryTabViewModel::contextActionTitle(Action::copyJobID), "Copy job ID");
    EXPECT_EQ(HistoryTabViewModel::contextActionTitle(Action::reReportAsFailed),
              "Re-report as failed");
}

TEST_F(HistoryTabTest, CopyAndRevealGoThroughTheInstalledWriter) {
    store->insert(record("done-key", "a.mov", 1, State::completed, QString("out/a.mp4")));
    HistoryTabViewModel model(*store);
    model.refresh();
    // Without a writer nothing happens (and nothing breaks).
    model.triggerContextAction(Action::copyJobID, "done-key");

    QStringList copied;
    model.setOnCopy([&](const QString& text) { copied << text; });
    model.triggerContextAction(Action::copyJobID, "done-key");
    model.triggerContextAction(Action::revealOutputS3Key, "done-key");
    EXPECT_EQ(copied, (QStringList{"done-key", "out/a.mp4"}));
}

TEST(HistoryTabColumns, CellTexts) {
    EXPECT_EQ(HistoryTabViewModel::columnTitles(),
              (QStringList{"Date", "Type", "File", "Duration", "Size", "Result"}));
    const QString dash = QString::fromUtf8("\u2014");
    EXPECT_EQ(HistoryTabViewModel::durationText(std::nullopt), dash);
    EXPECT_EQ(HistoryTabViewModel::durationText(3725), "3725s");
    EXPECT_EQ(HistoryTabViewModel::durationText(0), "0s");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(HistoryTabViewModel::sizeText(std::nullopt, english), dash);
    EXPECT_EQ(HistoryTabViewModel::sizeText(1'234'567, english), "1.2 MB");
    EXPECT_EQ(HistoryTabViewModel::typeText(JobRecord::JobType::prores), "Prores");
    EXPECT_EQ(HistoryTabViewModel::typeText(JobRecord::JobType::thumbnail), "Thumbnail");

    const struct {
        State state;
        const char* text;
        Tone tone;
    } results[] = {
        {State::claimed, "Claimed", Tone::primary},
        {State::downloading, "Downloading", Tone::primary},
        {State::encoding, "Encoding", Tone::primary},
        {State::uploading, "Uploading", Tone::primary},
        {State::completing, "Completing", Tone::primary},
        {State::completed, "Completed", Tone::primary},
        {State::failed, "Failed", Tone::red},
    };
    for (const auto& r : results) {
        EXPECT_EQ(HistoryTabViewModel::resultText(r.state), r.text);
        EXPECT_EQ(HistoryTabViewModel::resultTone(r.state), r.tone) << r.text;
    }
}
