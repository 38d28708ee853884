#pragma once

#include <QMainWindow>
#include <QPointer>

class HistoryTabViewModel;
class LogTabViewModel;
class NowTabViewModel;
class QListWidget;
class QSplitter;

// "Kestrel Worker": a sidebar with Now, History and Log beside the chosen tab.
// The tabs' state lives in their view models, so a tab is rebuilt on each switch.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    enum class Tab { now, history, log };

    static QString title(Tab tab);
    static QString systemImage(Tab tab);

    // `requiresOnboarding` as it was when the interface was built.
    MainWindow(NowTabViewModel& nowVM, HistoryTabViewModel& historyVM, LogTabViewModel& logVM,
               QString logDirectory, bool requiresOnboarding, QWidget* parent = nullptr);

    Tab selection() const { return m_selection; }
    void select(Tab tab);
    QWidget* detail() const { return m_detail; }

signals:
    // Sent once, the first time the window is shown, when onboarding is required.
    void onboardingRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showDetail();

    NowTabViewModel& m_nowVM;
    HistoryTabViewModel& m_historyVM;
    LogTabViewModel& m_logVM;
    QString m_logDirectory;
    bool m_requiresOnboarding;
    bool m_didCheckOnboarding = false;
    Tab m_selection = Tab::now;
    QSplitter* m_splitter;
    QListWidget* m_sidebar;
    QPointer<QWidget> m_detail;
};
