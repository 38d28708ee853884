#include "views/onboarding/OnboardingWindow.h"

#include "views/onboarding/DoneStep.h"
#include "views/onboarding/IdentityStep.h"
#include "views/onboarding/ServerURLStep.h"
#include "views/onboarding/TokenStep.h"
#include "views/onboarding/WelcomeStep.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

OnboardingWindow::OnboardingWindow(OnboardingViewModel& viewModel,
                                   std::function<void(bool)> onFinished, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_viewModel(viewModel)
    , m_onFinished(std::move(onFinished))
    , m_pages(new QStackedWidget())
    , m_doneStep(new DoneStep())
    , m_back(new QPushButton(QStringLiteral("Back")))
    , m_next(new QPushButton(QStringLiteral("Next")))
    , m_openSettings(new QPushButton(QStringLiteral("Just open settings")))
    , m_startPolling(new QPushButton(QStringLiteral("Start polling now"))) {
    setObjectName(QStringLiteral("onboarding"));
    setWindowTitle(QStringLiteral("Welcome to Kestrel Worker"));
    setFixedSize(fixedWidth, fixedHeight);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget();
    content->setObjectName(QStringLiteral("onboarding.window"));
    outer->addWidget(content);

    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_pages->setObjectName(QStringLiteral("onboarding.steps"));
    const QList<std::pair<Step, QWidget*>> pages = {
        {Step::welcome, new WelcomeStep()},
        {Step::serverURL, new ServerURLStep(m_viewModel)},
        {Step::token, new TokenStep(m_viewModel)},
        {Step::identity, new IdentityStep(m_viewModel)},
        {Step::done, m_doneStep},
    };
    for (const auto& [step, page] : pages) {
        m_pages->addWidget(page);
        m_pageOf.insert(step, page);
    }
    column->addWidget(m_pages, 1);

    auto* divider = new QFrame();
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    auto* footer = new QHBoxLayout();
    const int padding = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    footer->setContentsMargins(padding, padding, padding, padding);
    m_back->setObjectName(QStringLiteral("onboarding.back"));
    footer->addWidget(m_back);
    footer->addStretch(1);
    m_openSettings->setObjectName(QStringLiteral("onboarding.openSettings"));
    footer->addWidget(m_openSettings);
    // Return is the default action: Next, or on the last page "Start polling now".
    // A hidden or disabled button's shortcut does not fire.
    m_startPolling->setObjectName(QStringLiteral("onboarding.startPolling"));
    m_startPolling->setShortcut(QKeySequence(Qt::Key_Return));
    footer->addWidget(m_startPolling);
    m_next->setObjectName(QStringLiteral("onboarding.next"));
    m_next->setShortcut(QKeySequence(Qt::Key_Return));
    footer->addWidget(m_next);
    column->addLayout(footer);

    connect(m_back, &QPushButton::clicked, &m_viewModel, &OnboardingViewModel::back);
    connect(m_next, &QPushButton::clicked, &m_viewModel, &OnboardingViewModel::next);
    connect(m_startPolling, &QPushButton::clicked, this, [this] { finishWith(true); });
    connect(m_openSettings, &QPushButton::clicked, this, [this] { finishWith(false); });

    // canAdvance reads the step, the URL, the test result and the worker name.
    connect(&m_viewModel, &OnboardingViewModel::stepChanged, this,
            &OnboardingWindow::showModelStep);
    connect(&m_viewModel, &OnboardingViewModel::serverURLStringChanged, this,
            &OnboardingWindow::showButtons);
    connect(&m_viewModel, &OnboardingViewModel::testResultChanged, this,
            &OnboardingWindow::showButtons);
    connect(&m_viewModel, &OnboardingViewModel::workerNameChanged, this,
            &OnboardingWindow::showButtons);
    showModelStep();
}

void OnboardingWindow::showStep(Step step) {
    m_shownStep = step;
    m_pages->setCurrentWidget(m_pageOf.value(step));
    showButtons();
}

void OnboardingWindow::showModelStep() {
    m_doneStep->showFailure(QString());
    showStep(m_viewModel.step());
}

void OnboardingWindow::showButtons() {
    const bool onDone = m_shownStep == Step::done;
    m_back->setVisible(m_shownStep == Step::serverURL || m_shownStep == Step::token ||
                       m_shownStep == Step::identity);
    m_back->setEnabled(!m_finishing);
    m_next->setVisible(!onDone);
    // Judged on the model's own step, so a page shown for a picture never lets
    // the operator past a step the model does not allow.
    m_next->setEnabled(m_viewModel.step() == m_shownStep && m_viewModel.canAdvance());
    m_openSettings->setVisible(onDone);
    m_openSettings->setEnabled(!m_finishing);
    m_startPolling->setVisible(onDone);
    m_startPolling->setEnabled(!m_finishing);
}

QCoro::Task<void> OnboardingWindow::finishWith(bool startPolling) {
    if (m_finishing) {
        co_return;
    }
    try {
        QPointer<OnboardingWindow> self(this);
        m_finishing = true;
        m_doneStep->showFailure(QString());
        showButtons();
        QString failure;
        const auto failed =
            connect(&m_viewModel, &OnboardingViewModel::finishFailed, this,
                    [&failure](const QString& description) { failure = description; });
        // Held here: the shell's callback must run even if this window goes away
        // while the settings are being applied.
        const std::function<void(bool)> onFinished = m_onFinished;
        const bool applied = co_await m_viewModel.finish();
        if (self) {
            disconnect(failed);
            m_finishing = false;
        }
        if (!applied) {
            // Nothing was applied: onboarding is not over, so the operator stays here.
            if (self) {
                m_doneStep->showFailure(failure.isEmpty() ? QStringLiteral("settings not applied")
                                                          : failure);
                showButtons();
            }
            co_return;
        }
        if (onFinished) {
            onFinished(startPolling);
        }
        if (!self) {
            co_return;
        }
        showButtons();
        close();
        if (!startPolling) {
            emit openSettingsRequested();
        }
    } catch (...) {
        // A fire-and-forget task: nothing may escape it.
    }
}
