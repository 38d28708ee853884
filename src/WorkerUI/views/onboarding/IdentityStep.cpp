#include "views/onboarding/IdentityStep.h"

#include "common/Fonts.h"
#include "onboarding/OnboardingViewModel.h"
#include "views/onboarding/StepLayout.h"
#include "views/settings/FormStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

IdentityStep::IdentityStep(OnboardingViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_name(new QLineEdit(this)) {
    setObjectName(QStringLiteral("onboarding.step.identity"));
    QVBoxLayout* column = StepLayout::install(this);

    auto* title = new QLabel(QStringLiteral("Worker identity"), this);
    title->setFont(FormStyle::title2());
    column->addWidget(title);

    m_name->setObjectName(QStringLiteral("onboarding.workerName"));
    m_name->setPlaceholderText(QStringLiteral("Worker name"));
    column->addWidget(m_name);

    auto* idRow = new QHBoxLayout();
    idRow->setSpacing(8);
    idRow->addWidget(new QLabel(QStringLiteral("Worker ID"), this));
    auto* id = new QLabel(m_viewModel.workerIDText(), this);
    id->setObjectName(QStringLiteral("onboarding.workerID"));
    id->setFont(FormStyle::monospacedCaption());
    id->setTextFormat(Qt::PlainText);
    FormStyle::makeSelectable(id);
    idRow->addWidget(id, 1);
    column->addLayout(idRow);

    auto* note = new QLabel(QStringLiteral("This identifier is generated once and stays stable "
                                           "for the lifetime of this install."),
                            this);
    note->setFont(Fonts::caption());
    note->setWordWrap(true);
    FormStyle::setTone(note, Tone::secondary);
    column->addWidget(note);

    StepLayout::finish(column);

    connect(m_name, &QLineEdit::textChanged, &m_viewModel, &OnboardingViewModel::setWorkerName);
    connect(&m_viewModel, &OnboardingViewModel::workerNameChanged, this, &IdentityStep::showName);
    showName();
}

void IdentityStep::showName() {
    if (m_name->text() != m_viewModel.workerName()) {
        m_name->setText(m_viewModel.workerName());
    }
}
