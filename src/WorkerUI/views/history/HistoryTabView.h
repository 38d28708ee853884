#pragma once

#include "views/history/JobLogSheet.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

class HistoryTabViewModel;
class HistoryTableModel;
class QLineEdit;
class QMenu;
class QTableView;

// The History tab: a search field and Refresh over the table of the newest
// jobs. Selecting a row opens the job's log sheet; the context menu's items
// come from the view model. Showing the view reloads the rows; everything that
// must outlive the view lives in the view model.
class HistoryTabView : public QWidget {
    Q_OBJECT

public:
    // Installs the clipboard writer as the view model's copy action.
    HistoryTabView(HistoryTabViewModel& viewModel, QString logDirectory, QWidget* parent = nullptr);

    // The context menu of one table row (a row of the filtered list), parented
    // to this view; it has no items for a row outside the table. The caller
    // shows it and deletes it.
    QMenu* contextMenuFor(int row);

    // The job whose log sheet is open.
    std::optional<QString> sheetJobID() const;
    JobLogSheet* sheet() const { return m_sheet; }

    // Clears the clipboard, then puts `text` on it as plain text.
    static void copyToClipboard(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSearchText();
    void selectionChanged();
    void restoreSelection();
    void openSheet(const QString& jobID);
    void closeSheet();
    void revealOutputS3Key(const QString& jobID);

    HistoryTabViewModel& m_viewModel;
    QString m_logDirectory;
    QLineEdit* m_search;
    QTableView* m_table;
    HistoryTableModel* m_model;
    std::optional<QString> m_selectedJobID;
    bool m_restoringSelection = false;
    QPointer<JobLogSheet> m_sheet;
};
