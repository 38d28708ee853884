#include "LogEventPump.h"

LogEventPump::LogEventPump(LogObserving& log, Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler)) {
    log.subscribe(this, [this](const LogEvent& event) {
        m_pending.push_back(event);
        if (!m_draining) {
            drain();
        }
    });
}

QCoro::Task<void> LogEventPump::drain() {
    m_draining = true;
    while (!m_pending.empty()) {
        LogEvent event = m_pending.front();
        m_pending.pop_front();
        try {
            co_await m_handler(std::move(event));
        } catch (...) {
            // A handler that fails (a notification that could not be shown) costs
            // that one event; the pump keeps running.
        }
    }
    m_draining = false;
}
