#pragma once

#include <QFrame>
#include <functional>

class NowTabViewModel;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The tray's panel: the pill text, the jobs in flight with their percentages,
// Pause/Resume, "Open Main Window" and "Quit".
class MenuBarPopoverView : public QFrame {
    Q_OBJECT

public:
    MenuBarPopoverView(NowTabViewModel& viewModel, std::function<void()> onOpenMainWindow,
                       std::function<void()> onQuit, QWidget* parent = nullptr);

    // "Pause" while running and not paused; "Resume" in every other case.
    static QString pauseButtonTitle(bool isRunning, bool isPaused);

private:
    void showStatus();
    void showJobs();

    NowTabViewModel& m_viewModel;
    QLabel* m_status;
    QWidget* m_jobs;
    QVBoxLayout* m_jobsLayout;
    QPushButton* m_pause;
};
