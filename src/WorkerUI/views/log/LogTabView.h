#pragma once

#include <QString>
#include <QWidget>

class FileManagerReveal;
class LogListModel;
class LogListView;
class LogTabViewModel;
class QButtonGroup;
class QLineEdit;
class QUuid;

// The Log tab: a level picker, a search field and "Show in File Manager" over
// the list of the view model's filtered events, which keeps the newest one in
// view. Every state lives in the view model; showing the view (re)starts it.
class LogTabView : public QWidget {
    Q_OBJECT

public:
    LogTabView(LogTabViewModel& viewModel, QString logDirectory, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showMinimumLevel();
    void showSearchText();
    void scrollToEvent(const QUuid& id);
    void scrollToLastRow();

    LogTabViewModel& m_viewModel;
    QString m_logDirectory;
    QButtonGroup* m_levels;
    QLineEdit* m_search;
    LogListView* m_list;
    LogListModel* m_model;
    FileManagerReveal* m_reveal;
};
