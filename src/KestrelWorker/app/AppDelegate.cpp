#include "AppDelegate.h"

#include "AppDependencies.h"
#include "LogEventPump.h"
#include "RaiseChannel.h"
#include "health/ConnectionHealth.h"
#include "login/LoginItemController.h"
#include "notifications/NotificationCoordinator.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr auto kUnreachableThreshold = std::chrono::seconds(300);
constexpr auto kNotificationWindow = std::chrono::seconds(300);

// Launch steps that must not stop the application.
QCoro::Task<void> recoverIgnoringErrors(JobCoordinator& coordinator) {
    try {
        co_await coordinator.recoverStaleJobs();
    } catch (...) {
        // The coordinator has logged what it could; the next launch tries again.
    }
}

} // namespace

AppDelegate::AppDelegate(AppDependencies* dependencies, Services services, QObject* parent)
    : QObject(parent)
    , m_dependencies(dependencies)
    , m_loginItem(std::move(services.loginItem))
    , m_notifier(std::move(services.notifier))
    , m_clock(std::move(services.clock))
    , m_notifications(
          std::make_unique<NotificationCoordinator>(*m_notifier, *m_clock, kNotificationWindow))
    , m_connectionHealth(std::make_unique<ConnectionHealth>(kUnreachableThreshold, *m_clock))
    , m_raise(services.raise) {
    if (m_dependencies == nullptr) {
        std::fprintf(stderr, "AppDependencies not yet bootstrapped — App.init must run before "
                             "AppDelegate.init\n");
        std::abort();
    }
}

AppDelegate::~AppDelegate() = default;

QString AppDelegate::quitAlertText() {
    return QStringLiteral("A job is in progress.");
}

QString AppDelegate::quitAlertInformativeText() {
    return QStringLiteral("Quit anyway and report it as failed?");
}

void AppDelegate::launchFinished() {
    // Started before polling: recovery reads its list of stale records at once,
    // so jobs claimed afterwards are never touched.
    recoverIgnoringErrors(m_dependencies->coordinator());

    try {
        m_loginItem->reconcile(m_dependencies->settings().launchAtLogin);
    } catch (...) {
        // Refused registrations are tried again at the next launch.
    }

    if (m_raise != nullptr) {
        connect(m_raise, &RaiseChannel::raiseRequested, this, &AppDelegate::raiseRequested);
        m_raiseObserved = m_raise->observe();
    }

    m_healthPump = new LogEventPump(
        m_dependencies->logStore(),
        [this](LogEvent event) { return handleHealthEvent(std::move(event)); }, this);
    m_jobFailurePump = new LogEventPump(
        m_dependencies->logStore(),
        [this](LogEvent event) { return handleJobFailureEvent(std::move(event)); }, this);

    if (m_dependencies->settings().autoStartPollingOnLaunch &&
        !m_dependencies->requiresOnboarding()) {
        m_dependencies->coordinator().start();
    }

    emit activationPolicyChosen(m_dependencies->settings().hideDockIcon);
}

bool AppDelegate::pumpsIdle() const {
    return (m_healthPump == nullptr || m_healthPump->isIdle()) &&
           (m_jobFailurePump == nullptr || m_jobFailurePump->isIdle());
}

QCoro::Task<void> AppDelegate::handleHealthEvent(LogEvent event) {
    if (event.category != QLatin1String("poll")) {
        co_return;
    }
    if (event.level == LogEvent::Level::warn || event.level == LogEvent::Level::error) {
        m_connectionHealth->recordFailure();
        if (m_connectionHealth->currentState().kind() ==
            ConnectionHealth::State::Kind::unreachable) {
            co_await m_notifications->notify(NotificationCoordinator::Event::serverUnreachable());
        }
        if (event.message.toLower().contains(QLatin1String("token rejected"))) {
            co_await m_notifications->notify(NotificationCoordinator::Event::tokenRejected());
        }
    } else {
        // "Server reachable again" and any other good news about polling.
        m_connectionHealth->recordSuccess();
    }
}

QCoro::Task<void> AppDelegate::handleJobFailureEvent(LogEvent event) {
    if (event.category != QLatin1String("job") || event.level != LogEvent::Level::error ||
        !event.jobID) {
        co_return;
    }
    co_await m_notifications->notify(
        NotificationCoordinator::Event::jobFailed(*event.jobID, event.message));
}

AppDelegate::TerminateReply AppDelegate::shouldTerminate(QWidget* alertParent) {
    if (m_terminating || m_quitAlert) {
        return TerminateReply::later; // already on the way out, or already asking
    }
    // The broadcaster lives on this thread, so its list is at hand without waiting.
    if (m_dependencies->activeJobs().snapshot().isEmpty()) {
        return TerminateReply::now;
    }
    auto* alert = new QMessageBox(alertParent);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setObjectName(QStringLiteral("quitAlert"));
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Kestrel Worker"));
    alert->setText(quitAlertText());
    alert->setInformativeText(quitAlertInformativeText());
    // One role for both, so they stand in the order added whatever the desktop's
    // button layout.
    QPushButton* cancel = alert->addButton(QStringLiteral("Cancel"), QMessageBox::ActionRole);
    cancel->setObjectName(QStringLiteral("quitAlert.cancel"));
    QPushButton* quit =
        alert->addButton(QStringLiteral("Quit & Fail Job"), QMessageBox::ActionRole);
    quit->setObjectName(QStringLiteral("quitAlert.quitAndFail"));
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(alert, &QMessageBox::buttonClicked, this, [this, quit](QAbstractButton* button) {
        if (button == quit) {
            recoverThenAllowTermination();
        }
        // Anything else cancels the quit: nothing changes.
    });
    // Answered: the next quit may ask again, even before the box is deleted.
    connect(alert, &QDialog::finished, this, [this] { m_quitAlert = nullptr; });
    m_quitAlert = alert;
    alert->open();
    return TerminateReply::later;
}

QCoro::Task<void> AppDelegate::recoverThenAllowTermination() {
    m_terminating = true;
    // No new claims while the jobs in flight are being reported.
    m_dependencies->coordinator().pause();
    co_await recoverIgnoringErrors(m_dependencies->coordinator());
    emit terminationAllowed();
}

void AppDelegate::willTerminate() {
    if (m_raise != nullptr && m_raiseObserved) {
        m_raise->stopObserving();
        m_raiseObserved = false;
    }
}
