#include "views/onboarding/ServerURLStep.h"

#include "common/Fonts.h"
#include "onboarding/OnboardingViewModel.h"
#include "settings/ServerURLText.h"
#include "views/onboarding/StepLayout.h"
#include "views/settings/FormStyle.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

ServerURLStep::ServerURLStep(OnboardingViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_field(new QLineEdit(this))
    , m_hint(new QLabel(ServerURLText::hint(), this)) {
    setObjectName(QStringLiteral("onboarding.step.serverURL"));
    QVBoxLayout* column = StepLayout::install(this);

    auto* title = new QLabel(QStringLiteral("Server URL"), this);
    title->setFont(FormStyle::title2());
    column->addWidget(title);

    m_field->setObjectName(QStringLiteral("onboarding.serverURL"));
    m_field->setPlaceholderText(QStringLiteral(KW_DEFAULT_SERVER_URL));
    m_field->setInputMethodHints(Qt::ImhUrlCharactersOnly | Qt::ImhNoAutoUppercase |
                                 Qt::ImhNoPredictiveText);
    column->addWidget(m_field);

    m_hint->setObjectName(QStringLiteral("onboarding.serverURLHint"));
    m_hint->setFont(Fonts::caption());
    FormStyle::setTone(m_hint, Tone::red);
    column->addWidget(m_hint);

    StepLayout::finish(column);

    connect(m_field, &QLineEdit::textChanged, &m_viewModel,
            &OnboardingViewModel::setServerURLString);
    connect(&m_viewModel, &OnboardingViewModel::serverURLStringChanged, this,
            &ServerURLStep::showURL);
    showURL();
}

void ServerURLStep::showURL() {
    if (m_field->text() != m_viewModel.serverURLString()) {
        m_field->setText(m_viewModel.serverURLString());
    }
    m_hint->setVisible(!m_viewModel.isServerURLValid());
}
