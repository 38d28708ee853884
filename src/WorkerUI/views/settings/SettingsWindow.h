#pragma once

#include <QWidget>

class AccountPane;
class AccountPaneModel;
class GeneralPane;
class ProcessingPane;
class QTabWidget;
class SettingsBinding;
class UpdatesPane;
class UpdaterServicing;

// The application's settings window: tabs General, Processing, Account and
// Updates in a fixed 560 by 460 window. General and Processing edit the shared
// draft of `binding`; Account works on `account` (built with the window);
// Updates writes through to `updater`. All three must outlive the window.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    enum class Tab { general, processing, account, updates };

    static constexpr int fixedWidth = 560;
    static constexpr int fixedHeight = 460;

    SettingsWindow(SettingsBinding& binding, AccountPaneModel& account, UpdaterServicing& updater,
                   QWidget* parent = nullptr);

    void selectTab(Tab tab);
    Tab currentTab() const;

    GeneralPane* generalPane() const { return m_general; }
    ProcessingPane* processingPane() const { return m_processing; }
    AccountPane* accountPane() const { return m_account; }
    UpdatesPane* updatesPane() const { return m_updates; }

private:
    QTabWidget* m_tabs;
    GeneralPane* m_general;
    ProcessingPane* m_processing;
    AccountPane* m_account;
    UpdatesPane* m_updates;
};
