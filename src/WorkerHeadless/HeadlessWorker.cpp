#include "HeadlessWorker.h"

#include "graph/EngineGraph.h"
#include "platform/SignalPipe.h"
#include "platform/SingleInstanceLock.h"
#include "platform/XdgPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void printErr(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

HeadlessWorker::HeadlessWorker(std::unique_ptr<EngineGraph> graph, bool drain, QObject* parent)
    : QObject(parent)
    , m_graph(std::move(graph))
    , m_drain(drain) {
    m_graph->logStore().subscribe(this,
                                  [](const LogEvent& event) { printErr(event.formattedLine()); });
    m_graph->activeJobs().subscribe(this,
                                    [this](const QList<ActiveJob>& jobs) { printProgress(jobs); });
    m_signals = new SignalPipe({SIGTERM, SIGINT, SIGQUIT}, this);
    connect(m_signals, &SignalPipe::received, this, &HeadlessWorker::onSignal);
    JobCoordinator& coordinator = m_graph->coordinator();
    // Queued: the coordinator is mid-claim when it says so.
    connect(
        &coordinator, &JobCoordinator::claimAnsweredNoJob, this,
        [this] {
            if (m_drain && m_graph->coordinator().activeRunners() == 0) {
                finish(0);
            }
        },
        Qt::QueuedConnection);
    connect(
        &coordinator, &JobCoordinator::statusChanged, this,
        [this] {
            if (m_draining && m_graph->coordinator().activeRunners() == 0) {
                finish(0);
            }
        },
        Qt::QueuedConnection);
}

HeadlessWorker::~HeadlessWorker() = default;

void HeadlessWorker::printProgress(const QList<ActiveJob>& jobs) {
    for (const ActiveJob& job : jobs) {
        const QString line =
            QStringLiteral("job %1 %2 %3 %4%")
                .arg(job.id, JobRecord::toString(job.jobType), JobRecord::toString(job.state))
                .arg(job.percent);
        if (m_lastProgress.value(job.id) != line) {
            m_lastProgress.insert(job.id, line);
            std::printf("%s\n", line.toLocal8Bit().constData());
        }
    }
    std::fflush(stdout);
}

QCoro::Task<void> HeadlessWorker::start() {
    try {
        co_await m_graph->coordinator().recoverStaleJobs();
    } catch (const std::exception& error) {
        m_graph->logStore().log(LogEvent::Level::warn, QStringLiteral("recovery"),
                                QStringLiteral("Stale-job recovery failed: ") +
                                    describeError(error));
    }
    m_graph->coordinator().start();
}

void HeadlessWorker::onSignal(int signalNumber) {
    if (m_finishing) {
        return;
    }
    if (signalNumber == SIGQUIT) {
        // Stop claiming; the jobs in flight run to their end.
        m_draining = true;
        m_graph->coordinator().pause();
        return;
    }
    quitReportingJobsFailed();
}

QCoro::Task<void> HeadlessWorker::quitReportingJobsFailed() {
    m_finishing = true;
    m_graph->coordinator().pause();
    try {
        co_await m_graph->coordinator().recoverStaleJobs();
    } catch (...) {
        // Quitting goes on: the next start recovers whatever is left.
    }
    m_finishing = false;
    co_await finish(0);
}

QCoro::Task<void> HeadlessWorker::finish(int status) {
    if (m_finishing) {
        co_return;
    }
    m_finishing = true;
    co_await m_graph->logStore().flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

QCoro::Task<int> HeadlessWorker::launch(QStringList arguments) {
    HeadlessOptions options;
    try {
        options = HeadlessOptions::parse(arguments);
    } catch (const std::invalid_argument& error) {
        printErr(QString::fromStdString(error.what()));
        co_return 2;
    }
    if (options.help) {
        std::printf("%s", HeadlessOptions::usage().toLocal8Bit().constData());
        co_return 0;
    }
    if (options.version) {
        std::printf("kestrel-workerd %s\n", KW_VERSION);
        co_return 0;
    }

    EngineGraph::Options graphOptions;
    if (options.tokenFile) {
        QFile file(*options.tokenFile);
        if (!file.open(QIODevice::ReadOnly)) {
            printErr(QStringLiteral("Failed to start: cannot read the token file %1: %2")
                         .arg(*options.tokenFile, file.errorString()));
            co_return 1;
        }
        graphOptions.fixedToken = HeadlessOptions::tokenFromFileContent(file.readAll());
    } else if (qEnvironmentVariableIsSet("KESTREL_WORKER_TOKEN")) {
        graphOptions.fixedToken = qEnvironmentVariable("KESTREL_WORKER_TOKEN");
    }
    graphOptions.ffmpegPath = options.ffmpeg;
    graphOptions.ffprobePath = options.ffprobe;
    graphOptions.overrideSettings = [options](Settings& settings) {
        if (options.server)
            settings.serverURL = QUrl(*options.server);
        if (options.name)
            settings.workerName = *options.name;
        if (options.concurrency)
            settings.maxConcurrency = *options.concurrency;
        if (options.pollInterval)
            settings.pollInterval = *options.pollInterval;
        if (options.scratch)
            settings.scratchDirectory = QDir(*options.scratch).absolutePath();
    };

    if (!SingleInstanceLock::tryAcquire(SingleInstanceLock::lockPath(XdgPaths::dataDirectory()))) {
        printErr(
            QStringLiteral("Failed to start: another Kestrel Worker is running for this user"));
        co_return 1;
    }

    std::unique_ptr<EngineGraph> graph;
    try {
        graph = co_await EngineGraph::bootstrap(graphOptions);
    } catch (const std::exception& error) {
        printErr(QStringLiteral("Failed to start: ") + describeError(error));
        co_return 1;
    }
    if (graph->initialToken.isEmpty()) {
        printErr(QStringLiteral("Failed to start: no worker token"));
        co_return 1;
    }
    auto* worker =
        new HeadlessWorker(std::move(graph), options.drain, QCoreApplication::instance());
    co_await worker->start();
    co_return -1;
}
