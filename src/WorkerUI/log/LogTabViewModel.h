#pragma once

#include "logging/LogEvent.h"
#include "now/Tone.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

class LogObserving;

// The Log tab's state: the log's recent events followed live, bounded to a
// capacity, and filtered by a minimum level and a search text. Main thread only.
// The model outlives the tab's views; each showing of the tab calls start().
class LogTabViewModel : public QObject {
    Q_OBJECT

public:
    // A capacity below 1 is taken as 1.
    LogTabViewModel(LogObserving& logs, qsizetype capacity, QObject* parent = nullptr);

    // Oldest first; never more than maxBuffered() events.
    const QList<LogEvent>& displayed() const { return m_displayed; }
    qsizetype maxBuffered() const { return m_maxBuffered; }
    LogEvent::Level minimumLevel() const { return m_minimumLevel; }
    void setMinimumLevel(LogEvent::Level level);
    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& text);

    // Subscribes to the log, then takes its snapshot and shows its newest
    // maxBuffered() events, then follows every later event. The subscription
    // comes first so nothing logged in between is missed; an event that arrives
    // both ways is shown once (events are told apart by id). Calling it again
    // replaces the list with a fresh snapshot and ends the earlier subscription.
    void start();

    // The displayed events that pass the level and the search text, in order.
    QList<LogEvent> filtered() const;
    // Below `minimumLevel` never; else an empty query always; else the query as
    // a substring of the lower-cased message, category or job id. `query` is
    // already trimmed and lower-cased.
    static bool matches(const LogEvent& event, LogEvent::Level minimumLevel, const QString& query);

    // The id of the last event of filtered(), the row the list keeps in view. A
    // freshly built list scrolls to it itself; followRequested reports changes.
    std::optional<QUuid> lastFilteredID() const;

    // The picker's segment titles: "Debug", "Info", "Warn", "Error".
    static QString levelTitle(LogEvent::Level level);
    // Debug secondary, info primary, warn orange, error red.
    static Tone levelTone(LogEvent::Level level);

signals:
    // displayed() was replaced (start) or grew by one event, possibly losing its oldest.
    void displayedChanged();
    void minimumLevelChanged();
    void searchTextChanged();
    // The last event of filtered() became another, present one: the list should
    // scroll, without animation, to show it at the bottom. Not emitted when the
    // filter leaves the last row as it was or empties the list.
    void followRequested(const QUuid& id);

private:
    void append(const LogEvent& event);
    void trimToCapacity();
    void noteFilteredTail();

    LogObserving& m_logs;
    qsizetype m_maxBuffered;
    QList<LogEvent> m_displayed;
    QSet<QUuid> m_displayedIDs;
    LogEvent::Level m_minimumLevel = LogEvent::Level::info;
    QString m_searchText;
    QMetaObject::Connection m_subscription;
    // Events streamed while start() is still taking the snapshot.
    QList<LogEvent> m_early;
    bool m_loading = false;
    std::optional<QUuid> m_lastFilteredID;
};
