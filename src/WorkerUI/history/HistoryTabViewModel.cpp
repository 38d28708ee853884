#include "history/HistoryTabViewModel.h"

#include "async/WorkerError.h"
#include "now/DisplayText.h"
#include "records/HistoryReading.h"

namespace {

const QString kEmDash = QStringLiteral("\u2014");

} // namespace

HistoryTabViewModel::HistoryTabViewModel(HistoryReading& history, QObject* parent, Clock clock)
    : QObject(parent)
    , m_history(history)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); })) {}

void HistoryTabViewModel::setSearchText(const QString& text) {
    if (text == m_searchText) {
        return;
    }
    m_searchText = text;
    emit searchTextChanged();
}

void HistoryTabViewModel::refresh() {
    std::optional<QString> error;
    try {
        m_rows = m_history.recent(historyRowLimit);
    } catch (...) {
        m_rows.clear();
        error = describeCurrentException();
    }
    const bool errorChanged = error != m_loadError;
    m_loadError = std::move(error);
    emit rowsChanged();
    if (errorChanged) {
        emit loadErrorChanged();
    }
}

QList<JobRecord> HistoryTabViewModel::filteredRows() const {
    const QString query = m_searchText.trimmed().toLower();
    if (query.isEmpty()) {
        return m_rows;
    }
    QList<JobRecord> kept;
    for (const JobRecord& row : m_rows) {
        if (row.fileName.toLower().contains(query) || row.id.toLower().contains(query) ||
            (row.outputS3Key && row.outputS3Key->toLower().contains(query))) {
            kept.append(row);
        }
    }
    return kept;
}

void HistoryTabViewModel::reReportAsFailed(const QString& jobID) {
    std::optional<JobRecord> record = m_history.record(jobID);
    if (!record) {
        return;
    }
    record->state = JobRecord::State::failed;
    record->errorMessage = reReportMessage(m_clock());
    record->endedAt = m_clock();
    m_history.update(*record);
    refresh();
}

QList<HistoryTabViewModel::ContextAction>
HistoryTabViewModel::contextActions(const QStringList& jobIDs) const {
    if (jobIDs.isEmpty()) {
        return {};
    }
    const JobRecord* row = loadedRow(jobIDs.first());
    if (!row) {
        return {};
    }
    QList<ContextAction> actions;
    if (row->outputS3Key) {
        actions.append(ContextAction::revealOutputS3Key);
    }
    actions.append(ContextAction::copyJobID);
    if (row->state == JobRecord::State::completed) {
        actions.append(ContextAction::reReportAsFailed);
    }
    return actions;
}

QString HistoryTabViewModel::contextActionTitle(ContextAction action) {
    switch (action) {
    case ContextAction::revealOutputS3Key:
        return QStringLiteral("Reveal output S3 key");
    case ContextAction::copyJobID:
        return QStringLiteral("Copy job ID");
    case ContextAction::reReportAsFailed:
        return QStringLiteral("Re-report as failed");
    }
    return {};
}

void HistoryTabViewModel::triggerContextAction(ContextAction action, const QString& jobID) {
    switch (action) {
    case ContextAction::revealOutputS3Key:
        if (const JobRecord* row = loadedRow(jobID); row && row->outputS3Key && m_onCopy) {
            m_onCopy(*row->outputS3Key);
        }
        break;
    case ContextAction::copyJobID:
        if (m_onCopy) {
            m_onCopy(jobID);
        }
        break;
    case ContextAction::reReportAsFailed:
        try {
            reReportAsFailed(jobID);
        } catch (...) {
            // The menu has nowhere to show it; the table simply stays as it was.
        }
        break;
    }
}

QStringList HistoryTabViewModel::columnTitles() {
    return {QStringLiteral("Date"),     QStringLiteral("Type"), QStringLiteral("File"),
            QStringLiteral("Duration"), QStringLiteral("Size"), QStringLiteral("Result")};
}

QString HistoryTabViewModel::dateText(const QDateTime& startedAt, const QLocale& locale) {
    return locale.toString(startedAt.toLocalTime(), QLocale::ShortFormat);
}

QString HistoryTabViewModel::typeText(JobRecord::JobType type) {
    return displayText::capitalised(JobRecord::toString(type));
}

QString HistoryTabViewModel::durationText(const std::optional<qint64>& seconds) {
    return seconds ? QString::number(*seconds) + QLatin1Char('s') : kEmDash;
}

QString HistoryTabViewModel::sizeText(const std::optional<qint64>& bytes, const QLocale& locale) {
    // Decimal units, as file managers show file sizes.
    return bytes ? locale.formattedDataSize(*bytes, 1, QLocale::DataSizeSIFormat) : kEmDash;
}

QString HistoryTabViewModel::resultText(JobRecord::State state) {
    return displayText::capitalised(JobRecord::toString(state));
}

Tone HistoryTabViewModel::resultTone(JobRecord::State state) {
    return state == JobRecord::State::failed ? Tone::red : Tone::primary;
}

QString HistoryTabViewModel::reReportMessage(const QDateTime& now) {
    return QStringLiteral("Re-reported as failed by operator at ") +
           now.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

const JobRecord* HistoryTabViewModel::loadedRow(const QString& jobID) const {
    for (const JobRecord& row : m_rows) {
        if (row.id == jobID) {
            return &row;
        }
    }
    return nullptr;
}
