#pragma once

#include "logging/LogEvent.h"

#include <QCoroTask>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <memory>

class AppDependencies;
class Clock;
class ConnectionHealth;
class LogEventPump;
class LoginItemController;
class NotificationCoordinator;
class Notifier;
class QWidget;
class RaiseChannel;

// The desktop process's lifecycle: what happens once launching has finished,
// whether (and how) the process may quit, and what it does on the way out.
// Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    enum class TerminateReply { now, cancel, later };

    struct Services {
        std::unique_ptr<LoginItemController> loginItem;
        std::unique_ptr<Notifier> notifier;
        std::unique_ptr<Clock> clock;  // for health and notifications
        RaiseChannel* raise = nullptr; // not owned; may be null
    };

    // Health and notifications get the 300-second threshold and window.
    // Stops the process when start-up has not stored the dependencies yet.
    AppDelegate(AppDependencies* dependencies, Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Recovery, login item, raise observer, the two log pumps, auto-start and the
    // taskbar policy, in that order.
    void launchFinished();

    // now: quit at once. cancel: keep running. later: the operator is being asked
    // (or the jobs are being reported failed); terminationAllowed follows the go-ahead.
    TerminateReply shouldTerminate(QWidget* alertParent = nullptr);
    void willTerminate();

    ConnectionHealth& connectionHealth() { return *m_connectionHealth; }
    NotificationCoordinator& notifications() { return *m_notifications; }
    // True while neither pump has an event left to handle.
    bool pumpsIdle() const;
    QMessageBox* quitAlert() const { return m_quitAlert; }

    static QString quitAlertText();
    static QString quitAlertInformativeText();

signals:
    // A raise message arrived: the application brings its main window to the front.
    void raiseRequested();
    // Launching chose the taskbar policy: true = tray only, no taskbar entry.
    void activationPolicyChosen(bool accessory);
    // The deferred termination may go ahead now.
    void terminationAllowed();

private:
    QCoro::Task<void> handleHealthEvent(LogEvent event);
    QCoro::Task<void> handleJobFailureEvent(LogEvent event);
    QCoro::Task<void> recoverThenAllowTermination();

    AppDependencies* m_dependencies;
    std::unique_ptr<LoginItemController> m_loginItem;
    std::unique_ptr<Notifier> m_notifier;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<NotificationCoordinator> m_notifications;
    std::unique_ptr<ConnectionHealth> m_connectionHealth;
    RaiseChannel* m_raise;
    bool m_raiseObserved = false;
    LogEventPump* m_healthPump = nullptr;
    LogEventPump* m_jobFailurePump = nullptr;
    QPointer<QMessageBox> m_quitAlert;
    bool m_terminating = false;
};
