#include "UserInterface.h"

#include "AboutPanel.h"
#include "AppDependencies.h"
#include "history/HistoryTabViewModel.h"
#include "log/LogTabViewModel.h"
#include "now/NowTabViewModel.h"
#include "onboarding/APIClientClaimer.h"
#include "onboarding/ConnectionTester.h"
#include "onboarding/OnboardingViewModel.h"
#include "settings/AccountPaneModel.h"
#include "settings/SettingsBinding.h"
#include "updates/AnyUpdater.h"
#include "views/mainwindow/MainWindow.h"
#include "views/menubar/MenuBarExtra.h"
#include "views/onboarding/OnboardingWindow.h"
#include "views/settings/SettingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QSet>
#include <QSystemTrayIcon>

namespace {

constexpr qsizetype kLogDisplayLimit = 1000;

void toFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

UserInterface::UserInterface(AppDependencies& dependencies, std::function<void()> onQuit,
                             std::function<void()> onOpenMainWindow, QObject* parent)
    : QObject(parent)
    , m_dependencies(dependencies)
    , m_onQuit(std::move(onQuit))
    , m_onOpenMainWindow(std::move(onOpenMainWindow))
    , m_nowVM(std::make_unique<NowTabViewModel>(dependencies.coordinator(),
                                                dependencies.settings().maxConcurrency))
    , m_historyVM(std::make_unique<HistoryTabViewModel>(dependencies.history()))
    , m_logVM(std::make_unique<LogTabViewModel>(dependencies.logStore(), kLogDisplayLimit))
    , m_settingsBinding(std::make_unique<SettingsBinding>(dependencies.settings(),
                                                          dependencies.commitSettings())) {
    // A job that leaves the list has finished: History shows it without a manual
    // refresh. (The tabs load their data themselves when shown.)
    connect(&dependencies.activeJobs(), &ActiveJobsBroadcaster::jobsChanged, m_historyVM.get(),
            [this](const QList<ActiveJob>& jobs) {
                QSet<QString> ids;
                for (const ActiveJob& job : jobs) {
                    ids.insert(job.id);
                }
                const bool someLeft = !(m_inFlight - ids).isEmpty();
                m_inFlight = ids;
                if (someLeft) {
                    m_historyVM->refresh();
                }
            });
    m_menuBarExtra = std::make_unique<MenuBarExtra>(
        *m_nowVM, [this] { m_onOpenMainWindow(); }, [this] { m_onQuit(); });
}

UserInterface::~UserInterface() {
    delete m_onboardingWindow;
    delete m_settingsWindow;
    delete m_mainWindow;
}

void UserInterface::buildMainWindow() {
    m_mainWindow = new MainWindow(*m_nowVM, *m_historyVM, *m_logVM, m_dependencies.logDirectory(),
                                  m_dependencies.requiresOnboarding());
    if (m_trayOnly) {
        m_mainWindow->setWindowFlag(Qt::Tool); // no taskbar entry
    }
    // The application menu: About, Settings, Quit (through the confirmation).
    QMenu* appMenu = new QMenu(QStringLiteral("&Kestrel Worker"), m_mainWindow);
    QAction* about = appMenu->addAction(QStringLiteral("About Kestrel Worker"));
    about->setObjectName(QStringLiteral("app.about"));
    connect(about, &QAction::triggered, this, &UserInterface::showAbout);
    QAction* settings = appMenu->addAction(QStringLiteral("Settings…"));
    settings->setObjectName(QStringLiteral("app.settings"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &UserInterface::showSettings);
    appMenu->addSeparator();
    QAction* quit = appMenu->addAction(QStringLiteral("Quit Kestrel Worker"));
    quit->setObjectName(QStringLiteral("app.quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] { m_onQuit(); });
    m_mainWindow->menuBar()->insertMenu(m_mainWindow->menuBar()->actions().value(0), appMenu);
    connect(m_mainWindow, &MainWindow::onboardingRequested, this, &UserInterface::showOnboarding);
}

void UserInterface::present(bool trayOnly) {
    // Without a tray there would be no way back to a hidden agent.
    m_trayOnly = trayOnly && QSystemTrayIcon::isSystemTrayAvailable();
    buildMainWindow();
    if (m_trayOnly) {
        if (m_dependencies.requiresOnboarding()) {
            showOnboarding();
        }
        return;
    }
    m_mainWindow->show();
}

void UserInterface::bringMainWindowToFront() {
    // A closed main window is only hidden here, so it comes back as well.
    if (m_mainWindow) {
        toFront(m_mainWindow);
    }
}

QWidget* UserInterface::mainWindow() const {
    return m_mainWindow;
}

void UserInterface::showSettings() {
    if (!m_settingsWindow) {
        m_anyUpdater = std::make_unique<AnyUpdater>(m_dependencies.updater());
        m_accountModel = std::make_unique<AccountPaneModel>(
            *m_settingsBinding, m_dependencies.tokenStore(),
            ConnectionTester(std::make_shared<APIClientClaimer>(&m_dependencies.network())));
        m_settingsWindow = new SettingsWindow(*m_settingsBinding, *m_accountModel, *m_anyUpdater);
        if (m_trayOnly) {
            m_settingsWindow->setWindowFlag(Qt::Tool);
        }
    }
    toFront(m_settingsWindow);
}

void UserInterface::showAbout() {
    AboutPanel::show(m_dependencies.graph().ffmpeg().ffmpegPath(), m_mainWindow);
}

void UserInterface::showOnboarding() {
    // The main window asks once when first shown; in tray-only mode that can be
    // long after onboarding was finished from the tray's start-up.
    if (!m_dependencies.requiresOnboarding() && !m_onboardingWindow) {
        return;
    }
    if (!m_onboardingWindow) {
        m_onboardingVM = std::make_unique<OnboardingViewModel>(
            m_dependencies.settings(), m_dependencies.tokenStore(),
            ConnectionTester(std::make_shared<APIClientClaimer>(&m_dependencies.network())),
            m_dependencies.commitSettings());
        m_onboardingWindow = new OnboardingWindow(
            *m_onboardingVM, [this](bool startPolling) { finishOnboarding(startPolling); });
        m_onboardingWindow->setAttribute(Qt::WA_DeleteOnClose);
        // "Just open settings": once onboarding has closed, so Settings is in front.
        connect(m_onboardingWindow, &OnboardingWindow::openSettingsRequested, this,
                &UserInterface::showSettings);
    }
    toFront(m_onboardingWindow);
}

void UserInterface::finishOnboarding(bool startPolling) {
    m_dependencies.setRequiresOnboarding(false);
    // Settings opened from now on show what onboarding applied.
    m_settingsBinding->adopt(m_dependencies.settings());
    if (startPolling) {
        m_dependencies.coordinator().start();
    }
}
