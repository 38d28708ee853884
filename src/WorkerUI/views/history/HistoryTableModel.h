#pragma once

#include "records/JobRecord.h"

#include <QAbstractTableModel>
#include <QList>

class HistoryTabViewModel;

// The History table over the view model's filtered rows, in their order, with
// the six columns' texts. Reloaded whole when the rows or the search change (at
// most 50 rows).
class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { dateColumn, typeColumn, fileColumn, durationColumn, sizeColumn, resultColumn };
    // The row's job id, on every column.
    static constexpr int jobIDRole = Qt::UserRole;

    explicit HistoryTableModel(HistoryTabViewModel& viewModel, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The record shown in a row; none outside the rows.
    const JobRecord* record(int row) const;
    // The row showing a job, or -1.
    int rowOf(const QString& jobID) const;

private:
    void reload();

    HistoryTabViewModel& m_viewModel;
    QList<JobRecord> m_rows;
};
