#pragma once

#include "logging/LogObserving.h"

#include <QCoroTask>
#include <QObject>
#include <deque>
#include <functional>

// Feeds every new log event to a handler one at a time, in logging order: the
// next event waits until the handler's task for the previous one has finished.
class LogEventPump : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<QCoro::Task<void>(LogEvent)>;

    LogEventPump(LogObserving& log, Handler handler, QObject* parent = nullptr);

    bool isIdle() const { return !m_draining && m_pending.empty(); }

private:
    QCoro::Task<void> drain();

    Handler m_handler;
    std::deque<LogEvent> m_pending;
    bool m_draining = false;
};
