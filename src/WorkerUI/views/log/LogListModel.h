#pragma once

#include "logging/LogEvent.h"

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

class LogTabViewModel;

// The Log tab's list over the view model's filtered events. A live event
// becomes one inserted row (and a trimmed one a removed row), so the view keeps
// its layout instead of rebuilding 1000 rows; a new level or search text resets
// the list.
class LogListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LogListModel(LogTabViewModel& viewModel, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The event's line as the day files hold it; its level's colour as the foreground.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The row showing the event, or -1.
    int rowOf(const QUuid& id) const;

private:
    struct Row {
        QUuid id;
        LogEvent::Level level;
        QString line;
    };
    static Row rowFor(const LogEvent& event);
    void syncWithDisplayed();
    void reset();

    LogTabViewModel& m_viewModel;
    QList<Row> m_rows;
};
