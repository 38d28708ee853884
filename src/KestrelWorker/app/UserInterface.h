#pragma once

#include "views/mainwindow/MainWindow.h"
#include "views/onboarding/OnboardingWindow.h"
#include "views/settings/SettingsWindow.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>
#include <memory>

class AccountPaneModel;
class AnyUpdater;
class AppDependencies;
class HistoryTabViewModel;
class LogTabViewModel;
class MenuBarExtra;
class NowTabViewModel;
class OnboardingViewModel;
class SettingsBinding;
class QWidget;

// The operator interface of the desktop process: the view models (shared by the
// windows and the tray), the main window, the tray, and the Settings, onboarding
// and About windows opened from them. Built once start-up has succeeded.
class UserInterface : public QObject {
    Q_OBJECT

public:
    UserInterface(AppDependencies& dependencies, std::function<void()> onQuit,
                  std::function<void()> onOpenMainWindow, QObject* parent = nullptr);
    ~UserInterface() override;

    // What launching shows: the tray always; the main window unless the agent
    // lives in the tray only (then its windows stay off the taskbar); onboarding
    // when it is required.
    void present(bool trayOnly);
    void bringMainWindowToFront();
    void showSettings();
    void showAbout();
    void showOnboarding();
    // The operator finished onboarding: true = start polling now.
    void finishOnboarding(bool startPolling);

    QWidget* mainWindow() const;
    MenuBarExtra* menuBarExtra() const { return m_menuBarExtra.get(); }
    NowTabViewModel& nowVM() { return *m_nowVM; }
    SettingsWindow* settingsWindow() const { return m_settingsWindow; }
    OnboardingWindow* onboardingWindow() const { return m_onboardingWindow; }

private:
    void buildMainWindow();

    AppDependencies& m_dependencies;
    std::function<void()> m_onQuit;
    std::function<void()> m_onOpenMainWindow;
    bool m_trayOnly = false;
    QSet<QString> m_inFlight;
    std::unique_ptr<NowTabViewModel> m_nowVM;
    std::unique_ptr<HistoryTabViewModel> m_historyVM;
    std::unique_ptr<LogTabViewModel> m_logVM;
    std::unique_ptr<SettingsBinding> m_settingsBinding;
    std::unique_ptr<MenuBarExtra> m_menuBarExtra;
    QPointer<MainWindow> m_mainWindow;
    std::unique_ptr<AnyUpdater> m_anyUpdater;
    std::unique_ptr<AccountPaneModel> m_accountModel;
    QPointer<SettingsWindow> m_settingsWindow;
    std::unique_ptr<OnboardingViewModel> m_onboardingVM;
    QPointer<OnboardingWindow> m_onboardingWindow;
};
