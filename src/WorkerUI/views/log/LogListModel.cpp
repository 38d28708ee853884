#include "views/log/LogListModel.h"

#include "common/ToneColors.h"
#include "log/LogTabViewModel.h"

#include <QGuiApplication>

LogListModel::LogListModel(LogTabViewModel& viewModel, QObject* parent)
    : QAbstractListModel(parent)
    , m_viewModel(viewModel) {
    for (const LogEvent& event : m_viewModel.filtered()) {
        m_rows.append(rowFor(event));
    }
    connect(&m_viewModel, &LogTabViewModel::displayedChanged, this,
            &LogListModel::syncWithDisplayed);
    connect(&m_viewModel, &LogTabViewModel::minimumLevelChanged, this, &LogListModel::reset);
    connect(&m_viewModel, &LogTabViewModel::searchTextChanged, this, &LogListModel::reset);
}

int LogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return {};
    }
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return row.line;
    case Qt::ForegroundRole:
        return toneColor(LogTabViewModel::levelTone(row.level), QGuiApplication::palette());
    default:
        return {};
    }
}

int LogListModel::rowOf(const QUuid& id) const {
    // The followed row is nearly always the last one.
    for (qsizetype row = m_rows.size() - 1; row >= 0; --row) {
        if (m_rows[row].id == id) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

LogListModel::Row LogListModel::rowFor(const LogEvent& event) {
    return {event.id, event.level, event.formattedLine()};
}

void LogListModel::syncWithDisplayed() {
    // The displayed events only grow at the end and lose their oldest at the
    // front, so the new list is the old one minus a head plus a tail.
    const QList<LogEvent> next = m_viewModel.filtered();
    qsizetype dropped = m_rows.size();
    if (!next.isEmpty()) {
        for (qsizetype row = 0; row < m_rows.size(); ++row) {
            if (m_rows[row].id == next.constFirst().id) {
                dropped = row;
                break;
            }
        }
    }
    const qsizetype kept = m_rows.size() - dropped;
    bool continues = kept <= next.size();
    for (qsizetype row = 0; continues && row < kept; ++row) {
        continues = m_rows[dropped + row].id == next[row].id;
    }
    if (!continues) {
        // A fresh snapshot that does not carry on from the rows shown.
        beginResetModel();
        m_rows.clear();
        for (const LogEvent& event : next) {
            m_rows.append(rowFor(event));
        }
        endResetModel();
        return;
    }
    if (dropped > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(dropped - 1));
        m_rows.remove(0, dropped);
        endRemoveRows();
    }
    if (next.size() > kept) {
        beginInsertRows(QModelIndex(), static_cast<int>(kept), static_cast<int>(next.size() - 1));
        for (qsizetype row = kept; row < next.size(); ++row) {
            m_rows.append(rowFor(next[row]));
        }
        endInsertRows();
    }
}

void LogListModel::reset() {
    beginResetModel();
    m_rows.clear();
    for (const LogEvent& event : m_viewModel.filtered()) {
        m_rows.append(rowFor(event));
    }
    endResetModel();
}
