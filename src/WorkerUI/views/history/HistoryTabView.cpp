#include "views/history/HistoryTabView.h"

#include "common/Symbols.h"
#include "history/HistoryTabViewModel.h"
#include "views/history/HistoryTableModel.h"
#include "views/history/JobLogSheet.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

HistoryTabView::HistoryTabView(HistoryTabViewModel& viewModel, QString logDirectory,
                               QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_logDirectory(std::move(logDirectory))
    , m_search(new QLineEdit(this))
    , m_table(new QTableView(this))
    , m_model(new HistoryTableModel(m_viewModel, this)) {
    setObjectName(QStringLiteral("history.tab"));
    // The view model outlives this view: the writer must not capture it.
    m_viewModel.setOnCopy(&HistoryTabView::copyToClipboard);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* bar = new QHBoxLayout();
    bar->setContentsMargins(12, 12, 12, 12);
    m_search->setObjectName(QStringLiteral("history.searchField"));
    m_search->setAccessibleName(QStringLiteral("Search"));
    m_search->setPlaceholderText(QStringLiteral("Search file name, id, or S3 key"));
    m_search->setClearButtonEnabled(true);
    m_search->setText(m_viewModel.searchText());
    bar->addWidget(m_search, 1);
    auto* refresh = new QToolButton(this);
    refresh->setObjectName(QStringLiteral("history.refreshButton"));
    refresh->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise")));
    refresh->setToolTip(QStringLiteral("Refresh"));
    refresh->setAccessibleName(QStringLiteral("Refresh"));
    bar->addWidget(refresh);
    layout->addLayout(bar);

    m_table->setObjectName(QStringLiteral("history.table"));
    m_table->setAccessibleName(QStringLiteral("History"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSortingEnabled(false);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(HistoryTableModel::fileColumn, QHeaderView::Stretch);
    layout->addWidget(m_table, 1);

    connect(m_search, &QLineEdit::textChanged, &m_viewModel, &HistoryTabViewModel::setSearchText);
    connect(&m_viewModel, &HistoryTabViewModel::searchTextChanged, this,
            &HistoryTabView::showSearchText);
    connect(refresh, &QToolButton::clicked, &m_viewModel, &HistoryTabViewModel::refresh);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryTabView::selectionChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &HistoryTabView::restoreSelection);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const QModelIndex index = m_table->indexAt(position);
        if (!index.isValid()) {
            return;
        }
        QMenu* menu = contextMenuFor(index.row());
        if (menu->isEmpty()) {
            delete menu;
            return;
        }
        // Deleted once the chosen item has run.
        connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
        menu->popup(m_table->viewport()->mapToGlobal(position));
    });
}

QMenu* HistoryTabView::contextMenuFor(int row) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("history.contextMenu"));
    const JobRecord* record = m_model->record(row);
    if (record == nullptr) {
        return menu;
    }
    const QString jobID = record->id;
    for (const HistoryTabViewModel::ContextAction action :
         m_viewModel.contextActions(QStringList{jobID})) {
        QAction* item = menu->addAction(HistoryTabViewModel::contextActionTitle(action));
        switch (action) {
        case HistoryTabViewModel::ContextAction::revealOutputS3Key:
            item->setObjectName(QStringLiteral("history.revealOutputS3Key"));
            // The key goes straight to the clipboard, not through the copy action.
            connect(item, &QAction::triggered, this, [this, jobID] { revealOutputS3Key(jobID); });
            break;
        case HistoryTabViewModel::ContextAction::copyJobID:
            item->setObjectName(QStringLiteral("history.copyJobID"));
            connect(item, &QAction::triggered, this,
                    [this, action, jobID] { m_viewModel.triggerContextAction(action, jobID); });
            break;
        case HistoryTabViewModel::ContextAction::reReportAsFailed:
            item->setObjectName(QStringLiteral("history.reReportAsFailed"));
            connect(item, &QAction::triggered, this,
                    [this, action, jobID] { m_viewModel.triggerContextAction(action, jobID); });
            break;
        }
    }
    return menu;
}

std::optional<QString> HistoryTabView::sheetJobID() const {
    if (m_sheet.isNull()) {
        return std::nullopt;
    }
    return m_sheet->jobID();
}

void HistoryTabView::copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void HistoryTabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Every showing of the tab reloads; a window coming back from the
    // minimised state is not a showing of the tab.
    if (!event->spontaneous()) {
        m_viewModel.refresh();
    }
}

void HistoryTabView::showSearchText() {
    if (m_search->text() != m_viewModel.searchText()) {
        m_search->setText(m_viewModel.searchText());
    }
}

void HistoryTabView::selectionChanged() {
    if (m_restoringSelection) {
        return;
    }
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    std::optional<QString> jobID;
    if (!selected.isEmpty()) {
        jobID = selected.constFirst().data(HistoryTableModel::jobIDRole).toString();
    }
    if (jobID == m_selectedJobID) {
        return;
    }
    m_selectedJobID = jobID;
    if (jobID) {
        openSheet(*jobID);
    } else {
        closeSheet();
    }
}

void HistoryTabView::restoreSelection() {
    // A reload keeps the selected job selected when it is still listed, without
    // opening its sheet again; a job filtered out stays the selection to come back to.
    if (!m_selectedJobID) {
        return;
    }
    const int row = m_model->rowOf(*m_selectedJobID);
    if (row < 0) {
        return;
    }
    m_restoringSelection = true;
    m_table->selectionModel()->select(m_model->index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    m_restoringSelection = false;
}

void HistoryTabView::openSheet(const QString& jobID) {
    closeSheet();
    auto* sheet = new JobLogSheet(jobID, m_logDirectory, this);
    m_sheet = sheet;
    // Dismissing the sheet leaves the selection as it is.
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (m_sheet == sheet) {
            m_sheet = nullptr;
        }
        sheet->deleteLater();
    });
    sheet->open();
}

void HistoryTabView::closeSheet() {
    if (!m_sheet.isNull()) {
        JobLogSheet* sheet = m_sheet;
        m_sheet = nullptr;
        sheet->reject();
    }
}

void HistoryTabView::revealOutputS3Key(const QString& jobID) {
    for (const JobRecord& row : m_viewModel.rows()) {
        if (row.id == jobID && row.outputS3Key) {
            copyToClipboard(*row.outputS3Key);
            return;
        }
    }
}
