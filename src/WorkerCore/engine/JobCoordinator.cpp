#include "engine/JobCoordinator.h"

#include "api/APIClient.h"
#include "async/CancelledError.h"
#include "async/Sleep.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "logging/LogStore.h"
#include "records/JobHistoryStore.h"

#include <QPointer>
#include <QSysInfo>
#include <sys/utsname.h>

namespace {

const QString kRecoveryMessage = QStringLiteral("worker process exited unexpectedly");
const QString kTokenRejected = QStringLiteral("Token rejected");

QCoro::Task<void> runWithJobRunner(const JobRunner::Dependencies* deps, JobInputs inputs,
                                   std::stop_token stop) {
    JobRunner runner(*deps);
    co_await runner.run(std::move(inputs), stop);
}

} // namespace

JobCoordinator::JobCoordinator(const JobRunner::Dependencies& deps, Settings settings,
                               QObject* parent, JobExecutor executor)
    : QObject(parent)
    , m_deps(deps)
    , m_settings(std::move(settings))
    , m_executor(std::move(executor)) {
    if (!m_executor) {
        const JobRunner::Dependencies* bundle = &m_deps;
        m_executor = [bundle](JobInputs inputs, std::stop_token stop) {
            return runWithJobRunner(bundle, std::move(inputs), stop);
        };
    }
}

JobCoordinator::~JobCoordinator() {
    // The loop and the job tasks hold this object weakly; stopping lets them end.
    if (m_pollStop) {
        m_pollStop->request_stop();
    }
    for (std::stop_source& source : m_runningTasks) {
        source.request_stop();
    }
}

EngineStatus JobCoordinator::status() const {
    if (!m_pollStop) {
        return EngineStatus::stopped();
    }
    if (m_paused) {
        return EngineStatus::paused();
    }
    if (m_pollError) {
        return EngineStatus::error(*m_pollError);
    }
    return EngineStatus::running(m_activeRunners);
}

void JobCoordinator::publish() {
    Q_EMIT statusChanged(status());
}

void JobCoordinator::start() {
    if (m_pollStop) {
        return;
    }
    m_paused = false;
    m_pollError.reset();
    m_pollStop.emplace();
    pollLoop(m_pollStop->get_token());
    publish();
}

void JobCoordinator::pause() {
    m_paused = true;
    publish();
}

void JobCoordinator::resume() {
    m_paused = false;
    publish();
}

void JobCoordinator::stop() {
    if (m_pollStop) {
        m_pollStop->request_stop();
        m_pollStop.reset();
    }
    m_paused = false;
    // Moved out first: a stop callback may end a task, which edits the table.
    const QHash<QString, std::stop_source> running = std::exchange(m_runningTasks, {});
    for (std::stop_source source : running) {
        source.request_stop();
    }
    publish();
}

void JobCoordinator::cancelJob(const QString& jobID) {
    const auto it = m_runningTasks.constFind(jobID);
    if (it != m_runningTasks.constEnd()) {
        std::stop_source source = it.value();
        source.request_stop();
    }
}

QMetaObject::Connection
JobCoordinator::statusUpdates(QObject* context, std::function<void(const EngineStatus&)> receiver) {
    receiver(status());
    return connect(this, &JobCoordinator::statusChanged, context, std::move(receiver));
}

QMetaObject::Connection
JobCoordinator::activeJobUpdates(QObject* context,
                                 std::function<void(const QList<ActiveJob>&)> receiver) {
    return m_deps.activeJobs().subscribe(context, std::move(receiver));
}

void JobCoordinator::applySettings(const Settings& settings) {
    m_settings = settings;
}

std::optional<JobInputs> JobCoordinator::jobInputs(const ClaimedJob& claimed) {
    if (!claimed.claimed || !claimed.jobID || !claimed.jobType || !claimed.fileName) {
        return std::nullopt;
    }
    JobInputs inputs;
    inputs.id = *claimed.jobID;
    inputs.fileName = *claimed.fileName;
    if (*claimed.jobType == QLatin1String("thumbnail")) {
        inputs.type = JobRecord::JobType::thumbnail;
    } else if (*claimed.jobType == QLatin1String("preview")) {
        inputs.type = JobRecord::JobType::preview;
    } else {
        inputs.type = JobRecord::JobType::prores; // "prores" and anything unknown
    }
    inputs.preserveAudio = claimed.preserveAudio.value_or(false);
    return inputs;
}

QString JobCoordinator::workerPlatform() {
    utsname names{};
    const QString kernel =
        ::uname(&names) == 0 ? QString::fromLocal8Bit(names.sysname) : QStringLiteral("Linux");
    return kernel + QLatin1Char(' ') + QSysInfo::prettyProductName();
}

QCoro::Task<void> JobCoordinator::pollLoop(std::stop_token stop) {
    QPointer<JobCoordinator> self(this);
    const QString platform = workerPlatform();
    while (self && !stop.stop_requested()) {
        try {
            if (m_paused || m_activeRunners >= m_settings.maxConcurrency) {
                co_await sleepFor(recheckInterval, stop);
            } else {
                co_await claimOnce(stop, platform);
            }
        } catch (const CancelledError&) {
            // A stop ends the sleep early; the next test ends the loop.
        }
    }
    if (self) {
        Q_EMIT self->pollLoopEnded();
    }
}

QCoro::Task<void> JobCoordinator::claimOnce(std::stop_token stop, const QString& platform) {
    QPointer<JobCoordinator> self(this);
    ClaimedJob claimed;
    std::optional<QString> failure;
    try {
        claimed = co_await m_deps.api().claimJob(m_settings.workerID, m_settings.workerName,
                                                 platform, stop);
    } catch (...) {
        failure = describeCurrentException();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        handleClaimError(*failure);
        co_await sleepFor(std::chrono::seconds(std::max<qint64>(m_settings.pollInterval, 0)), stop);
        co_return;
    }

    if (m_claimFailing) {
        // Lets health tracking see the server answer again.
        m_claimFailing = false;
        m_deps.log().log(LogEvent::Level::info, QStringLiteral("poll"),
                         QStringLiteral("Server reachable again"));
    }
    if (m_pollError) {
        m_pollError.reset();
        publish();
    }
    if (std::optional<JobInputs> inputs = jobInputs(claimed)) {
        ++m_activeRunners;
        publish();
        std::stop_source source;
        m_runningTasks.insert(inputs->id, source);
        jobTask(*inputs, source);
        co_return;
    }
    Q_EMIT claimAnsweredNoJob();
    co_await sleepFor(std::chrono::seconds(std::max<qint64>(m_settings.pollInterval, 0)), stop);
}

void JobCoordinator::handleClaimError(const QString& description) {
    m_claimFailing = true;
    const QString message = QStringLiteral("claim error: ") + description;
    m_deps.log().log(LogEvent::Level::warn, QStringLiteral("poll"), message);
    const QString lowered = message.toLower();
    for (const char* marker : {"token rejected", "unauthorized", "401", "403"}) {
        if (lowered.contains(QLatin1String(marker))) {
            if (m_pollError != kTokenRejected) {
                m_pollError = kTokenRejected;
                publish();
            }
            return;
        }
    }
}

QCoro::Task<void> JobCoordinator::jobTask(JobInputs inputs, std::stop_source source) {
    QPointer<JobCoordinator> self(this);
    const JobExecutor executor = m_executor;
    try {
        co_await executor(inputs, source.get_token());
    } catch (...) {
        // The runner has logged and reported its own failure.
    }
    if (!self) {
        co_return;
    }
    m_activeRunners = std::max(m_activeRunners - 1, 0);
    const auto it = m_runningTasks.constFind(inputs.id);
    if (it != m_runningTasks.constEnd() && it.value() == source) {
        m_runningTasks.erase(it);
    }
    publish();
}

QCoro::Task<void> JobCoordinator::recoverStaleJobs() {
    QPointer<JobCoordinator> self(this);
    const QList<JobRecord> stale = m_deps.history().staleInFlight();
    for (JobRecord record : stale) {
        try {
            co_await m_deps.api().failJob(record.id, kRecoveryMessage);
        } catch (...) {
            // An unreachable server must not keep the record in flight.
        }
        if (!self) {
            co_return;
        }
        try {
            record.state = JobRecord::State::failed;
            record.endedAt = QDateTime::currentDateTimeUtc();
            record.errorMessage = kRecoveryMessage;
            m_deps.history().update(record);
        } catch (...) {
            // Logged below either way; the next start tries again.
        }
        m_deps.log().log(LogEvent::Level::warn, QStringLiteral("recovery"),
                         QStringLiteral("Marked stale in-flight job as failed"), record.id);
    }
}
