#include "logging/LogStore.h"

#include "logging/RollingFileLogger.h"

#include <QCoroFuture>
#include <QFuture>
#include <QPromise>

LogStore::LogStore(QString directory, qsizetype capacity, int retentionDays, QObject* parent,
                   Clock clock)
    : QObject(parent)
    , m_ring(capacity)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_fileLogger(std::make_unique<RollingFileLogger>(std::move(directory), retentionDays)) {
    qRegisterMetaType<LogEvent>();
    m_fileThread.setObjectName(QStringLiteral("LogFileWriter"));
    m_fileLogger->moveToThread(&m_fileThread);
    m_fileThread.start();
}

LogStore::~LogStore() {
    // The stop request goes through the same queue as the writes, so every line
    // logged before this point reaches the file before the thread ends.
    QMetaObject::invokeMethod(
        m_fileLogger.get(), [] { QThread::currentThread()->quit(); }, Qt::QueuedConnection);
    m_fileThread.wait();
    m_fileLogger.reset();
}

void LogStore::log(LogEvent::Level level, QString category, QString message,
                   std::optional<QString> jobID) {
    LogEvent event{QUuid::createUuid(), m_clock(),          level,
                   std::move(category), std::move(message), std::move(jobID)};
    m_ring.append(event);
    emit eventLogged(event);
    RollingFileLogger* logger = m_fileLogger.get();
    QMetaObject::invokeMethod(
        logger, [logger, event] { logger->write(event); }, Qt::QueuedConnection);
}

QList<LogEvent> LogStore::snapshot() const {
    return m_ring.orderedElements();
}

QMetaObject::Connection LogStore::subscribe(QObject* context,
                                            std::function<void(const LogEvent&)> receiver) {
    return connect(this, &LogStore::eventLogged, context, std::move(receiver));
}

template <typename Work> QCoro::Task<void> LogStore::runOnFileThread(Work work) {
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> done = promise->future();
    promise->start();
    RollingFileLogger* logger = m_fileLogger.get();
    QMetaObject::invokeMethod(
        logger,
        [logger, promise, work] {
            work(*logger);
            promise->finish();
        },
        Qt::QueuedConnection);
    // Touches nothing of the store after resuming, so a store destroyed meanwhile is fine.
    co_await done;
}

QCoro::Task<void> LogStore::flush() {
    return runOnFileThread([](RollingFileLogger& logger) { logger.flush(); });
}

QCoro::Task<void> LogStore::pruneOldLogs() {
    const QDateTime now = m_clock();
    return runOnFileThread([now](RollingFileLogger& logger) { logger.pruneOldFiles(now); });
}
