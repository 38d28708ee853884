#include "now/NowTabViewModel.h"

#include "engine/EngineControlling.h"
#include "now/DisplayText.h"

#include <algorithm>

NowTabViewModel::NowTabViewModel(EngineControlling& engine, qint64 maxConcurrency, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_maxConcurrency(maxConcurrency) {
    // `this` as context: the engine drops both receivers when the model goes away.
    m_engine.statusUpdates(this, [this](const EngineStatus& status) { applyStatus(status); });
    m_engine.activeJobUpdates(this, [this](const QList<ActiveJob>& jobs) {
        m_activeJobs = jobs;
        emit activeJobsChanged();
    });
}

QString NowTabViewModel::mainButtonTitle() const {
    if (!m_isRunning) {
        return QStringLiteral("Start");
    }
    return m_isPaused ? QStringLiteral("Resume") : QStringLiteral("Pause");
}

QString NowTabViewModel::emptyStateDescription() const {
    return m_isRunning ? QStringLiteral("Polling is active.")
                       : QStringLiteral("Polling is stopped.");
}

void NowTabViewModel::applyStatus(const EngineStatus& status) {
    switch (status.kind) {
    case EngineStatus::Kind::running:
        m_pillKind = PillKind::working;
        m_pillText =
            status.active != 0
                ? QStringLiteral("Working: %1 of %2").arg(status.active).arg(m_maxConcurrency)
                : QStringLiteral("Polling \u2014 no jobs");
        m_isRunning = true;
        m_isPaused = false;
        break;
    case EngineStatus::Kind::error:
        m_pillKind = PillKind::error;
        m_pillText = QStringLiteral("Error: ") + status.errorText;
        m_isRunning = false;
        m_isPaused = false;
        break;
    case EngineStatus::Kind::paused:
        m_pillKind = PillKind::paused;
        m_pillText = QStringLiteral("Paused");
        m_isRunning = true;
        m_isPaused = true;
        break;
    case EngineStatus::Kind::stopped:
        m_pillKind = PillKind::idle;
        m_pillText = QStringLiteral("Idle");
        m_isRunning = false;
        m_isPaused = false;
        break;
    }
    emit statusChanged();
}

void NowTabViewModel::togglePause() {
    if (m_engine.status().kind == EngineStatus::Kind::paused) {
        m_engine.resume();
    } else {
        m_engine.pause();
    }
}

void NowTabViewModel::pressMainButton() {
    if (m_isRunning) {
        togglePause();
    } else {
        m_engine.start();
    }
}

void NowTabViewModel::disconnectEngine() {
    m_engine.stop();
}

void NowTabViewModel::cancelJob(const QString& jobID) {
    m_engine.cancelJob(jobID);
}

Tone NowTabViewModel::toneFor(PillKind kind) {
    switch (kind) {
    case PillKind::idle:
        return Tone::secondary;
    case PillKind::working:
        return Tone::green;
    case PillKind::paused:
        return Tone::orange;
    case PillKind::error:
        return Tone::red;
    }
    return Tone::secondary;
}

QString NowTabViewModel::elapsedText(const QDateTime& startedAt, const QDateTime& now) {
    // Whole seconds, truncated towards zero, and never negative: "0:-5" for a
    // clock set back would be noise, not information.
    const qint64 seconds = std::max<qint64>(0, startedAt.msecsTo(now) / 1000);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString NowTabViewModel::stateText(JobRecord::State state) {
    return displayText::capitalised(JobRecord::toString(state));
}

QString NowTabViewModel::jobTypeSymbol(JobRecord::JobType type) {
    switch (type) {
    case JobRecord::JobType::prores:
        return QStringLiteral("film");
    case JobRecord::JobType::thumbnail:
        return QStringLiteral("photo");
    case JobRecord::JobType::preview:
        return QStringLiteral("play.rectangle");
    }
    return QStringLiteral("film");
}
