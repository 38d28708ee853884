#include "views/history/HistoryTableModel.h"

#include "common/ToneColors.h"
#include "history/HistoryTabViewModel.h"

#include <QGuiApplication>

HistoryTableModel::HistoryTableModel(HistoryTabViewModel& viewModel, QObject* parent)
    : QAbstractTableModel(parent)
    , m_viewModel(viewModel)
    , m_rows(viewModel.filteredRows()) {
    connect(&m_viewModel, &HistoryTabViewModel::rowsChanged, this, &HistoryTableModel::reload);
    connect(&m_viewModel, &HistoryTabViewModel::searchTextChanged, this,
            &HistoryTableModel::reload);
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(HistoryTabViewModel::columnTitles().size());
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    const JobRecord* row = index.isValid() ? record(index.row()) : nullptr;
    if (row == nullptr) {
        return {};
    }
    if (role == jobIDRole) {
        return row->id;
    }
    if (role == Qt::ForegroundRole && index.column() == resultColumn) {
        const Tone tone = HistoryTabViewModel::resultTone(row->state);
        // Primary stays the view's own text colour, which also follows selection.
        return tone == Tone::primary ? QVariant()
                                     : QVariant(toneColor(tone, QGuiApplication::palette()));
    }
    if (role == Qt::ToolTipRole && index.column() == fileColumn) {
        return row->fileName;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case dateColumn:
        return HistoryTabViewModel::dateText(row->startedAt);
    case typeColumn:
        return HistoryTabViewModel::typeText(row->jobType);
    case fileColumn:
        return row->fileName;
    case durationColumn:
        return HistoryTabViewModel::durationText(row->durationSeconds);
    case sizeColumn:
        return HistoryTabViewModel::sizeText(row->outputSizeBytes);
    case resultColumn:
        return HistoryTabViewModel::resultText(row->state);
    default:
        return {};
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return HistoryTabViewModel::columnTitles().value(section);
}

const JobRecord* HistoryTableModel::record(int row) const {
    return row >= 0 && row < m_rows.size() ? &m_rows[row] : nullptr;
}

int HistoryTableModel::rowOf(const QString& jobID) const {
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].id == jobID) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void HistoryTableModel::reload() {
    beginResetModel();
    m_rows = m_viewModel.filteredRows();
    endResetModel();
}
