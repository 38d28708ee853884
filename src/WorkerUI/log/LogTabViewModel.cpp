#include "log/LogTabViewModel.h"

#include "logging/LogObserving.h"

#include <algorithm>

LogTabViewModel::LogTabViewModel(LogObserving& logs, qsizetype capacity, QObject* parent)
    : QObject(parent)
    , m_logs(logs)
    , m_maxBuffered(std::max<qsizetype>(1, capacity)) {}

void LogTabViewModel::setMinimumLevel(LogEvent::Level level) {
    if (level == m_minimumLevel) {
        return;
    }
    m_minimumLevel = level;
    emit minimumLevelChanged();
    noteFilteredTail();
}

void LogTabViewModel::setSearchText(const QString& text) {
    if (text == m_searchText) {
        return;
    }
    m_searchText = text;
    emit searchTextChanged();
    noteFilteredTail();
}

void LogTabViewModel::start() {
    QObject::disconnect(m_subscription);
    m_early.clear();
    m_loading = true;
    // `this` as context: destroying the model ends the subscription.
    m_subscription = m_logs.subscribe(this, [this](const LogEvent& event) {
        if (m_loading) {
            m_early.append(event);
        } else {
            append(event);
        }
    });
    const QList<LogEvent> snapshot = m_logs.snapshot();
    m_loading = false;

    QSet<QUuid> snapshotIDs;
    for (const LogEvent& event : snapshot) {
        snapshotIDs.insert(event.id);
    }
    m_displayed = snapshot.mid(std::max<qsizetype>(0, snapshot.size() - m_maxBuffered));
    m_displayedIDs.clear();
    for (const LogEvent& event : std::as_const(m_displayed)) {
        m_displayedIDs.insert(event.id);
    }
    // What arrived while the snapshot was taken: only the events it does not hold.
    const QList<LogEvent> early = std::exchange(m_early, {});
    for (const LogEvent& event : early) {
        if (!snapshotIDs.contains(event.id) && !m_displayedIDs.contains(event.id)) {
            m_displayed.append(event);
            m_displayedIDs.insert(event.id);
        }
    }
    trimToCapacity();
    emit displayedChanged();
    noteFilteredTail();
}

void LogTabViewModel::append(const LogEvent& event) {
    if (m_displayedIDs.contains(event.id)) {
        return;
    }
    m_displayed.append(event);
    m_displayedIDs.insert(event.id);
    trimToCapacity();
    emit displayedChanged();
    noteFilteredTail();
}

void LogTabViewModel::trimToCapacity() {
    while (m_displayed.size() > m_maxBuffered) {
        m_displayedIDs.remove(m_displayed.constFirst().id);
        m_displayed.removeFirst();
    }
}

QList<LogEvent> LogTabViewModel::filtered() const {
    const QString query = m_searchText.trimmed().toLower();
    QList<LogEvent> kept;
    for (const LogEvent& event : m_displayed) {
        if (matches(event, m_minimumLevel, query)) {
            kept.append(event);
        }
    }
    return kept;
}

bool LogTabViewModel::matches(const LogEvent& event, LogEvent::Level minimumLevel,
                              const QString& query) {
    if (event.level < minimumLevel) {
        return false;
    }
    if (query.isEmpty()) {
        return true;
    }
    return event.message.toLower().contains(query) || event.category.toLower().contains(query) ||
           (event.jobID && event.jobID->toLower().contains(query));
}

std::optional<QUuid> LogTabViewModel::lastFilteredID() const {
    const QString query = m_searchText.trimmed().toLower();
    for (auto it = m_displayed.crbegin(); it != m_displayed.crend(); ++it) {
        if (matches(*it, m_minimumLevel, query)) {
            return it->id;
        }
    }
    return std::nullopt;
}

void LogTabViewModel::noteFilteredTail() {
    const std::optional<QUuid> last = lastFilteredID();
    if (last == m_lastFilteredID) {
        return;
    }
    m_lastFilteredID = last;
    if (last) {
        emit followRequested(*last);
    }
}

QString LogTabViewModel::levelTitle(LogEvent::Level level) {
    switch (level) {
    case LogEvent::Level::debug:
        return QStringLiteral("Debug");
    case LogEvent::Level::info:
        return QStringLiteral("Info");
    case LogEvent::Level::warn:
        return QStringLiteral("Warn");
    case LogEvent::Level::error:
        return QStringLiteral("Error");
    }
    return {};
}

Tone LogTabViewModel::levelTone(LogEvent::Level level) {
    switch (level) {
    case LogEvent::Level::debug:
        return Tone::secondary;
    case LogEvent::Level::info:
        return Tone::primary;
    case LogEvent::Level::warn:
        return Tone::orange;
    case LogEvent::Level::error:
        return Tone::red;
    }
    return Tone::primary;
}
