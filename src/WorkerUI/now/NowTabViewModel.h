#pragma once

#include "engine/ActiveJob.h"
#include "engine/EngineStatus.h"
#include "now/Tone.h"
#include "records/JobRecord.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

class EngineControlling;

// What the Now tab and the tray show of the engine: a status pill, the control
// labels and the jobs in flight. Everything is derived from the engine's two
// streams, which the constructor subscribes to (both hand over their current
// value at once, so the model is current as soon as it is built). Main thread
// only. Destroying the model ends both subscriptions.
class NowTabViewModel : public QObject {
    Q_OBJECT

public:
    enum class PillKind { idle, working, paused, error };

    // `maxConcurrency` is the figure shown after " of "; it keeps this value for
    // the life of the model (a later change in Settings reaches the engine only).
    NowTabViewModel(EngineControlling& engine, qint64 maxConcurrency, QObject* parent = nullptr);

    PillKind pillKind() const { return m_pillKind; }
    // "Idle", "Working: 2 of 4", "Polling — no jobs", "Paused", "Error: <text>".
    const QString& pillText() const { return m_pillText; }
    // The pill's colour: idle secondary (grey), working green, paused orange, error red.
    Tone pillTone() const { return toneFor(m_pillKind); }
    // In the engine's order (start time, then id).
    const QList<ActiveJob>& activeJobs() const { return m_activeJobs; }
    qint64 maxConcurrency() const { return m_maxConcurrency; }
    // Polling or paused.
    bool isRunning() const { return m_isRunning; }
    bool isPaused() const { return m_isPaused; }
    EngineControlling& engine() const { return m_engine; }

    // The main button: "Start" when not running, "Resume" when paused, else "Pause".
    QString mainButtonTitle() const;
    // The Disconnect button is shown only while running.
    bool showsDisconnect() const { return m_isRunning; }
    // The empty state: "Polling is active." while running (paused included), else
    // "Polling is stopped.".
    QString emptyStateDescription() const;

    // Sets pillKind, pillText, isRunning and isPaused from one status, then
    // emits statusChanged.
    void applyStatus(const EngineStatus& status);

    // Pause or resume, decided from the engine's own status (not from isPaused).
    void togglePause();
    // The main button's action: togglePause() while running, else start the engine.
    void pressMainButton();
    // The Disconnect button's action: stop the engine. No confirmation.
    void disconnectEngine();
    // A card's Cancel: cancel one job in flight; an id no longer running does nothing.
    void cancelJob(const QString& jobID);

    static Tone toneFor(PillKind kind);
    // Whole seconds from `startedAt` to `now`, as "m:ss" with minutes not wrapped
    // into hours (75 min 3 s gives "75:03"). A start in the future (clock set
    // back) shows "0:00".
    static QString elapsedText(const QDateTime& startedAt, const QDateTime& now);
    // The raw state text with its first letter capitalised ("Encoding").
    static QString stateText(JobRecord::State state);
    // The job type's symbol, by the names the views map to icons: "film"
    // (prores), "photo" (thumbnail), "play.rectangle" (preview).
    static QString jobTypeSymbol(JobRecord::JobType type);

signals:
    // pillKind, pillText, pillTone, isRunning, isPaused and the derived texts may
    // have changed.
    void statusChanged();
    // A new list of jobs in flight arrived (every progress report sends one).
    void activeJobsChanged();

private:
    EngineControlling& m_engine;
    qint64 m_maxConcurrency;
    PillKind m_pillKind = PillKind::idle;
    QString m_pillText = QStringLiteral("Idle");
    QList<ActiveJob> m_activeJobs;
    bool m_isRunning = false;
    bool m_isPaused = false;
};
