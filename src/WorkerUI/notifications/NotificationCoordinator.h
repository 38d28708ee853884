#pragma once

#include "health/Clock.h"
#include "notifications/Notifier.h"

#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <chrono>

// Decides whether an event reaches the operator at all (one notification per
// kind per window), words it and hands it to the notifier.
class NotificationCoordinator {
public:
    using Notifier = ::Notifier;

    class Event {
    public:
        enum class Kind { jobFailed, tokenRejected, serverUnreachable };

        static Event jobFailed(QString jobID, QString message) {
            return Event(Kind::jobFailed, std::move(jobID), std::move(message));
        }
        static Event tokenRejected() { return Event(Kind::tokenRejected, {}, {}); }
        static Event serverUnreachable() { return Event(Kind::serverUnreachable, {}, {}); }

        Kind kind() const { return m_kind; }
        const QString& jobID() const { return m_jobID; }
        const QString& message() const { return m_message; }

    private:
        Event(Kind kind, QString jobID, QString message)
            : m_kind(kind)
            , m_jobID(std::move(jobID))
            , m_message(std::move(message)) {}

        Kind m_kind;
        QString m_jobID;
        QString m_message;
    };

    // Only the whole seconds of `window` count.
    NotificationCoordinator(Notifier& notifier, const Clock& clock,
                            std::chrono::duration<double> window);

    NotificationCoordinator(const NotificationCoordinator&) = delete;
    NotificationCoordinator& operator=(const NotificationCoordinator&) = delete;

    // The rate-limit key: one per kind, whatever the payload.
    static QString eventKey(const Event& event);

    // Posts the event or drops it. The key is stamped before the notifier is
    // awaited, so a second event arriving during delivery is already dropped.
    QCoro::Task<void> notify(Event event);

private:
    Notifier& m_notifier;
    const Clock& m_clock;
    std::chrono::duration<double> m_window;
    QHash<QString, QDateTime> m_lastFiredAt;
};
