#pragma once

#include "engine/ActiveJob.h"

#include <QFrame>
#include <functional>

class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// One job in flight: type symbol, file name, elapsed time, progress, state and
// a Cancel button.
class ActiveJobCard : public QFrame {
    Q_OBJECT

public:
    ActiveJobCard(const ActiveJob& job, std::function<void()> onCancel, QWidget* parent = nullptr);

    // Redraws from a newer snapshot of the same job; the elapsed time is taken now.
    void setJob(const ActiveJob& job);
    const ActiveJob& job() const { return m_job; }

private:
    ActiveJob m_job;
    QLabel* m_symbol;
    ElidedLabel* m_fileName;
    QLabel* m_elapsed;
    QProgressBar* m_progress;
    QLabel* m_state;
    QPushButton* m_cancel;
};
