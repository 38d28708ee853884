#include "views/onboarding/TokenStep.h"

#include "common/Fonts.h"
#include "onboarding/OnboardingViewModel.h"
#include "views/onboarding/StepLayout.h"
#include "views/settings/DetachedTask.h"
#include "views/settings/FormStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TokenStep::TokenStep(OnboardingViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_field(new QLineEdit(this))
    , m_test(new QPushButton(QStringLiteral("Test connection"), this))
    , m_progress(new QProgressBar(this))
    , m_result(new QLabel(this)) {
    setObjectName(QStringLiteral("onboarding.step.token"));
    QVBoxLayout* column = StepLayout::install(this);

    auto* title = new QLabel(QStringLiteral("Worker token"), this);
    title->setFont(FormStyle::title2());
    column->addWidget(title);

    m_field->setObjectName(QStringLiteral("onboarding.token"));
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setPlaceholderText(QStringLiteral("Paste worker token"));
    m_field->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                 Qt::ImhNoAutoUppercase);
    column->addWidget(m_field);

    auto* row = new QHBoxLayout();
    row->setSpacing(8);
    m_test->setObjectName(QStringLiteral("onboarding.testConnection"));
    m_test->setAutoDefault(false);
    m_test->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(m_test);
    // A busy bar: the test has no measurable progress.
    m_progress->setObjectName(QStringLiteral("onboarding.testProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(48, 10);
    row->addWidget(m_progress);
    m_result->setObjectName(QStringLiteral("onboarding.testResult"));
    m_result->setFont(Fonts::caption());
    m_result->setTextFormat(Qt::PlainText);
    // Long failure descriptions wrap beside the button.
    m_result->setWordWrap(true);
    row->addWidget(m_result, 1);
    column->addLayout(row);

    StepLayout::finish(column);

    connect(m_field, &QLineEdit::textChanged, &m_viewModel, &OnboardingViewModel::setToken);
    connect(m_test, &QPushButton::clicked, this,
            [this] { detachTask(m_viewModel.testConnection()); });
    connect(&m_viewModel, &OnboardingViewModel::tokenChanged, this, &TokenStep::showToken);
    connect(&m_viewModel, &OnboardingViewModel::isTestingChanged, this, &TokenStep::showTest);
    connect(&m_viewModel, &OnboardingViewModel::testResultChanged, this, &TokenStep::showTest);
    showToken();
}

void TokenStep::showToken() {
    if (m_field->text() != m_viewModel.token()) {
        m_field->setText(m_viewModel.token());
    }
    showTest();
}

void TokenStep::showTest() {
    m_test->setEnabled(m_viewModel.canTestConnection());
    m_progress->setVisible(m_viewModel.isTesting());
    const auto& result = m_viewModel.testResult();
    m_result->setVisible(result.has_value());
    if (result) {
        m_result->setText(result->text());
        FormStyle::setTone(m_result, result->tone());
    }
}
