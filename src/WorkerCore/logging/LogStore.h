#pragma once

#include "logging/LogEvent.h"
#include "logging/LogObserving.h"
#include "logging/RingBuffer.h"

#include <QCoroTask>
#include <QObject>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

class RollingFileLogger;

// The agent's one place for operational events: keeps the latest in memory, hands
// each to the live subscribers, and has it appended to the day's file.
//
// Lives on the main thread and must be called from it only; the ring and the
// subscriber list are not guarded. The files are written on a thread of the store's
// own, fed through one queue so lines keep the logging order and `log` never waits
// for the disk. Destroying the store waits until every queued line is written.
class LogStore : public QObject, public LogObserving {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // A negative capacity is taken as 0: nothing held in memory, every event still
    // streamed and written. `clock` stamps the events; the wall clock (UTC) by default.
    LogStore(QString directory, qsizetype capacity, int retentionDays, QObject* parent = nullptr,
             Clock clock = {});
    ~LogStore() override;

    void log(LogEvent::Level level, QString category, QString message,
             std::optional<QString> jobID = std::nullopt);

    QList<LogEvent> snapshot() const override;
    QMetaObject::Connection subscribe(QObject* context,
                                      std::function<void(const LogEvent&)> receiver) override;

    // Both complete once the file thread has done the work (including every line
    // queued before the call); neither fails.
    QCoro::Task<void> flush();
    QCoro::Task<void> pruneOldLogs();

signals:
    void eventLogged(const LogEvent& event);

private:
    template <typename Work> QCoro::Task<void> runOnFileThread(Work work);

    RingBuffer<LogEvent> m_ring;
    Clock m_clock;
    QThread m_fileThread;
    std::unique_ptr<RollingFileLogger> m_fileLogger;
};
