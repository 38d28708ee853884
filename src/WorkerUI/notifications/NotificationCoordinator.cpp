#include "notifications/NotificationCoordinator.h"

#include <cmath>

namespace {

QString titleOf(const NotificationCoordinator::Event& event) {
    using Kind = NotificationCoordinator::Event::Kind;
    switch (event.kind()) {
    case Kind::jobFailed:
        return QStringLiteral("Job failed");
    case Kind::tokenRejected:
        return QStringLiteral("Token rejected");
    case Kind::serverUnreachable:
        return QStringLiteral("Server unreachable");
    }
    return {};
}

QString bodyOf(const NotificationCoordinator::Event& event) {
    using Kind = NotificationCoordinator::Event::Kind;
    switch (event.kind()) {
    case Kind::jobFailed:
        return QStringLiteral("Job ") + event.jobID() + QStringLiteral(": ") + event.message();
    case Kind::tokenRejected:
        return QStringLiteral("The Kestrel server rejected this worker's token. Re-enter it in "
                              "Settings \u2192 Account.");
    case Kind::serverUnreachable:
        return QStringLiteral("The Kestrel server has been unreachable for over 5 minutes.");
    }
    return {};
}

} // namespace

NotificationCoordinator::NotificationCoordinator(Notifier& notifier, const Clock& clock,
                                                 std::chrono::duration<double> window)
    : m_notifier(notifier)
    , m_clock(clock)
    , m_window(window) {}

QString NotificationCoordinator::eventKey(const Event& event) {
    switch (event.kind()) {
    case Event::Kind::jobFailed:
        return QStringLiteral("jobFailed");
    case Event::Kind::tokenRejected:
        return QStringLiteral("tokenRejected");
    case Event::Kind::serverUnreachable:
        return QStringLiteral("serverUnreachable");
    }
    return {};
}

QCoro::Task<void> NotificationCoordinator::notify(Event event) {
    const QDateTime now = m_clock.currentDate();
    const QString key = eventKey(event);
    const auto last = m_lastFiredAt.constFind(key);
    if (last != m_lastFiredAt.constEnd()) {
        const double seconds = double(last->msecsTo(now)) / 1000.0;
        if (seconds < std::trunc(m_window.count())) {
            co_return;
        }
    }
    // Stamped before delivery: the window counts from this attempt even when
    // the notification never shows.
    m_lastFiredAt.insert(key, now);

    const QString title = titleOf(event);
    const QString body = bodyOf(event);
    try {
        co_await m_notifier.post(title, body);
    } catch (...) {
        // Delivery is best effort; a notifier that breaks its promise must not
        // take the caller's pump down with it.
    }
}
