#include "KestrelWorkerApp.h"

#include "AppDependencies.h"
#include "RaiseChannel.h"
#include "UserInterface.h"
#include "async/WorkerError.h"
#include "health/SystemClock.h"
#include "login/LoginItemController.h"
#include "notifications/UserNotificationsNotifier.h"
#include "platform/SignalPipe.h"
#include "platform/SingleInstanceLock.h"
#include "platform/XdgPaths.h"
#include "updates/SoftwareUpdateService.h"
#include "updates/UpdateCheckDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QProcessEnvironment>
#include <QSettings>
#include <csignal>
#include <cstdio>
#include <unistd.h>

KestrelWorkerApp::KestrelWorkerApp(QObject* parent)
    : QObject(parent) {}

KestrelWorkerApp::~KestrelWorkerApp() = default;

QCoro::Task<std::optional<int>> KestrelWorkerApp::launch() {
    const QString lockPath = SingleInstanceLock::lockPath(XdgPaths::dataDirectory());
    m_raise = new RaiseChannel(QDBusConnection::sessionBus(), this);
    if (!SingleInstanceLock::tryAcquire(lockPath)) {
        // Another copy runs for this user: bring it forward and leave before
        // anything is recovered, polled or notified.
        m_raise->post();
        co_return 0;
    }

    // The update service comes first of all, before the engine's graph.
    m_updateNetwork = std::make_unique<QNetworkAccessManager>();
    m_updatePreferences =
        std::make_unique<QSettings>(XdgPaths::settingsFile(), QSettings::NativeFormat);
    m_clock = std::make_unique<SystemClock>();
    auto updater = std::make_unique<SoftwareUpdateService>(
        QUrl(QStringLiteral(KW_UPDATE_FEED_URL)), QStringLiteral(KW_VERSION), m_updateNetwork.get(),
        m_updatePreferences.get(), *m_clock, &UpdateCheckDialog::present);
    try {
        m_dependencies = co_await AppDependencies::bootstrap(std::move(updater));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Failed to start: %s\n",
                     describeError(error).toLocal8Bit().constData());
        co_return 1;
    }
    m_dependencies->applyOverrides(
        StartupOverrides::fromEnvironment(QProcessEnvironment::systemEnvironment()));
    AppDependencies::setShared(m_dependencies.get());

    m_interface = std::make_unique<UserInterface>(
        *m_dependencies, [this] { requestQuit(); }, [this] { bringMainWindowToFront(); });

    AppDelegate::Services services;
    services.loginItem = std::make_unique<LoginItemController>(
        QCoreApplication::applicationFilePath(), XdgPaths::autostartDirectory());
    services.notifier = std::make_unique<UserNotificationsNotifier>();
    services.clock = std::make_unique<SystemClock>();
    services.raise = m_raise;
    m_delegate = new AppDelegate(AppDependencies::shared(), std::move(services), this);
    connect(m_delegate, &AppDelegate::raiseRequested, this,
            &KestrelWorkerApp::bringMainWindowToFront);
    connect(m_delegate, &AppDelegate::activationPolicyChosen, m_interface.get(),
            &UserInterface::present);
    connect(m_delegate, &AppDelegate::terminationAllowed, this, &KestrelWorkerApp::terminate);

    // A session that ends (logout, systemctl) cannot answer a question: the jobs
    // in flight are reported failed, as with "Quit & Fail Job".
    m_signals = new SignalPipe({SIGTERM, SIGINT, SIGHUP}, this);
    connect(m_signals, &SignalPipe::received, this, [this] { quitReportingJobsFailed(); });

    m_delegate->launchFinished();
    co_return std::nullopt;
}

void KestrelWorkerApp::requestQuit() {
    if (m_quitting) {
        return;
    }
    if (m_delegate == nullptr) {
        terminate();
        return;
    }
    switch (m_delegate->shouldTerminate(m_interface ? m_interface->mainWindow() : nullptr)) {
    case AppDelegate::TerminateReply::now:
        terminate();
        break;
    case AppDelegate::TerminateReply::cancel:
    case AppDelegate::TerminateReply::later:
        break;
    }
}

void KestrelWorkerApp::bringMainWindowToFront() {
    if (m_interface) {
        m_interface->bringMainWindowToFront();
    }
}

QCoro::Task<void> KestrelWorkerApp::quitReportingJobsFailed() {
    if (m_quitting || m_terminating || !m_dependencies) {
        co_return; // a second signal while the first recovery runs
    }
    m_quitting = true;
    m_dependencies->coordinator().pause();
    try {
        co_await m_dependencies->coordinator().recoverStaleJobs();
    } catch (...) {
        // Quitting goes on: the next start recovers whatever is left.
    }
    terminate();
}

void KestrelWorkerApp::terminate() {
    if (m_terminating) {
        return;
    }
    m_terminating = true;
    if (m_delegate != nullptr) {
        m_delegate->willTerminate();
    }
    auto finish = [](AppDependencies* dependencies) -> QCoro::Task<void> {
        if (dependencies != nullptr) {
            co_await dependencies->logStore().flush();
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // Jobs still running end with the process; nothing else needs tearing down
        // (the lock, the database and the log files close with it).
        ::_exit(0);
    };
    finish(m_dependencies.get());
}
