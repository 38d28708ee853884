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

    // Brings the job rows up to date before the panel is sized and placed.
    void rebuildIfStale();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStatus();
    void showJobs();
    void rebuildJobs();

    NowTabViewModel& m_viewModel;
    QLabel* m_status;
    QWidget* m_jobs;
    QVBoxLayout* m_jobsLayout;
    QPushButton* m_pause;
    bool m_jobsStale = false; // the list changed while the panel was hidden
};
