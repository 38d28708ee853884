#pragma once

#include "onboarding/OnboardingViewModel.h"

#include <QCoroTask>
#include <QHash>
#include <QWidget>
#include <functional>

class DoneStep;
class QPushButton;
class QStackedWidget;

// The first-run window: one page per step above a footer of Back, Next and, on
// the last step, the two finishing buttons. A fixed 560 by 420 window with the
// identifier "onboarding". Finishing stores the token and applies the settings
// through the model, then hands the operator's choice to `onFinished` and closes
// the window; closing it any other way runs nothing.
class OnboardingWindow : public QWidget {
    Q_OBJECT

public:
    using Step = OnboardingViewModel::Step;

    static constexpr int fixedWidth = 560;
    static constexpr int fixedHeight = 420;

    // `onFinished` gets true for "Start polling now", false for "Just open
    // settings". `viewModel` must outlive the window.
    OnboardingWindow(OnboardingViewModel& viewModel, std::function<void(bool)> onFinished,
                     QWidget* parent = nullptr);

    // Shows `step`'s page and footer without moving the model, for pictures of
    // steps the model only reaches after a real connection test. The model's
    // next change of step takes over again.
    void showStep(Step step);

signals:
    // "Just open settings" has finished and closed this window: the Settings
    // window is to be opened and brought to the front.
    void openSettingsRequested();

private:
    void showModelStep();
    void showButtons();
    QCoro::Task<void> finishWith(bool startPolling);

    OnboardingViewModel& m_viewModel;
    std::function<void(bool)> m_onFinished;
    QStackedWidget* m_pages;
    QHash<Step, QWidget*> m_pageOf;
    DoneStep* m_doneStep;
    QPushButton* m_back;
    QPushButton* m_next;
    QPushButton* m_openSettings;
    QPushButton* m_startPolling;
    Step m_shownStep = Step::welcome;
    bool m_finishing = false;
};
