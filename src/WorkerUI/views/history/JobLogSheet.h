#pragma once

#include "log/JobLogSheetModel.h"

#include <QDialog>

class QPlainTextEdit;

// The sheet over the History tab with every line of the day files that
// mentions one job. The files are read once, on a worker thread, when the
// sheet is first shown; until then it says "Loading…".
class JobLogSheet : public QDialog {
    Q_OBJECT

public:
    JobLogSheet(QString jobID, QString logDirectory, QWidget* parent = nullptr);

    const QString& jobID() const { return m_model.jobID(); }
    // The text shown: the loading text, then the lines or the empty-state text.
    QString content() const;

signals:
    void contentLoaded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadLines();

    JobLogSheetModel m_model;
    QPlainTextEdit* m_content;
    bool m_loadStarted = false;
};
