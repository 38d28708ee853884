#pragma once

#include "HeadlessOptions.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <memory>

class EngineGraph;
class SignalPipe;

// The engine without a desktop: log lines on stderr, job progress on stdout,
// signals for the two ways of stopping, and the drain mode for scripted runs.
class HeadlessWorker : public QObject {
    Q_OBJECT

public:
    HeadlessWorker(std::unique_ptr<EngineGraph> graph, bool drain, QObject* parent = nullptr);
    ~HeadlessWorker() override;

    // Recovers stale jobs, then polls until a signal or the drain ends it.
    QCoro::Task<void> start();

    // Builds everything from the command line; the process exit status when
    // start-up fails (the message is on stderr), else none.
    static QCoro::Task<int> launch(QStringList arguments);

private:
    void onSignal(int signalNumber);
    void printProgress(const QList<struct ActiveJob>& jobs);
    QCoro::Task<void> quitReportingJobsFailed();
    // Ends the process without tearing the graph down: jobs in flight end
    // with it (their ffmpeg children are tied to this process).
    QCoro::Task<void> finish(int status);

    std::unique_ptr<EngineGraph> m_graph;
    bool m_drain;
    bool m_finishing = false;
    bool m_draining = false; // SIGQUIT: let the jobs in flight finish
    SignalPipe* m_signals = nullptr;
    QHash<QString, QString> m_lastProgress;
};
