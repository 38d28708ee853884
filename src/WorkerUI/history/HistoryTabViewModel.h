#pragma once

#include "now/Tone.h"
#include "records/JobRecord.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class HistoryReading;

// The History tab's state: the newest jobs of the local history, a search over
// them, the column texts, the context menu's items and the local "re-report as
// failed". Nothing here talks to the server. Main thread only; the history's
// calls are synchronous and brief (at most 50 rows are read).
class HistoryTabViewModel : public QObject {
    Q_OBJECT

public:
    // Rows beyond the newest fifty are never loaded, shown or searched.
    static constexpr qint64 historyRowLimit = 50;

    enum class ContextAction { revealOutputS3Key, copyJobID, reReportAsFailed };

    // `clock` gives the current time for re-reports; the wall clock by default.
    using Clock = std::function<QDateTime()>;

    explicit HistoryTabViewModel(HistoryReading& history, QObject* parent = nullptr,
                                 Clock clock = {});

    // The records last loaded, newest first.
    const QList<JobRecord>& rows() const { return m_rows; }
    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    // The description of the last failed load; none after a successful one.
    const std::optional<QString>& loadError() const { return m_loadError; }

    // Puts a text on the clipboard; the tab's view installs it (replacing any earlier one).
    void setOnCopy(std::function<void(const QString&)> onCopy) { m_onCopy = std::move(onCopy); }

    // Reloads the newest 50 rows. A failure empties the rows and sets loadError;
    // it never throws.
    void refresh();
    // The rows the search text keeps, in their order: the query (the text trimmed
    // of white space and lower-cased) as a substring of the lower-cased file name,
    // id or output S3 key. An empty query keeps every row.
    QList<JobRecord> filteredRows() const;

    // Marks a job failed in the local history only ("Re-reported as failed by
    // operator at <UTC time>", ended now), then refreshes. An id not in the
    // history does nothing. Throws the history's error when reading or writing
    // fails; the stored record and the rows then stay as they were.
    void reReportAsFailed(const QString& jobID);

    // The context menu for the rows it was opened on: the first id's row among
    // all loaded rows gives "Reveal output S3 key" (when it has a key), "Copy
    // job ID" (always) and "Re-report as failed" (when completed), in this order.
    // An empty list or an id not loaded gives no items.
    QList<ContextAction> contextActions(const QStringList& jobIDs) const;
    static QString contextActionTitle(ContextAction action);
    // Runs one item for a job id: reveal puts the row's output key on the
    // clipboard, copy puts the id there (both through onCopy; nothing without
    // it), re-report calls reReportAsFailed and discards its failure.
    void triggerContextAction(ContextAction action, const QString& jobID);

    // The table's six columns, in order: "Date", "Type", "File", "Duration",
    // "Size", "Result".
    static QStringList columnTitles();
    // Short date and short time of the locale, in local time.
    static QString dateText(const QDateTime& startedAt, const QLocale& locale = QLocale());
    // "Prores", "Thumbnail", "Preview".
    static QString typeText(JobRecord::JobType type);
    // Whole seconds and "s" ("3725s"), or an em dash when absent.
    static QString durationText(const std::optional<qint64>& seconds);
    // The locale's decimal file size ("1.2 MB"), or an em dash when absent.
    static QString sizeText(const std::optional<qint64>& bytes, const QLocale& locale = QLocale());
    // "Completed", "Failed", ...; red for failed, primary otherwise.
    static QString resultText(JobRecord::State state);
    static Tone resultTone(JobRecord::State state);

    // The text of a re-reported record's errorMessage for the instant `now`.
    static QString reReportMessage(const QDateTime& now);

signals:
    void rowsChanged();
    void searchTextChanged();
    void loadErrorChanged();

private:
    const JobRecord* loadedRow(const QString& jobID) const;

    HistoryReading& m_history;
    Clock m_clock;
    QList<JobRecord> m_rows;
    QString m_searchText;
    std::optional<QString> m_loadError;
    std::function<void(const QString&)> m_onCopy;
};
