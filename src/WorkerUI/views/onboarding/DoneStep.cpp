#include "views/onboarding/DoneStep.h"

#include "common/Fonts.h"
#include "views/onboarding/StepLayout.h"
#include "views/settings/FormStyle.h"

#include <QLabel>
#include <QVBoxLayout>

DoneStep::DoneStep(QWidget* parent)
    : QWidget(parent)
    , m_failure(new QLabel(this)) {
    setObjectName(QStringLiteral("onboarding.step.done"));
    QVBoxLayout* column = StepLayout::install(this);

    auto* title = new QLabel(QStringLiteral("All set"), this);
    title->setFont(FormStyle::largeTitle());
    column->addWidget(title);

    auto* body = new QLabel(
        QStringLiteral("You can start polling for jobs now, or skip straight to Settings."), this);
    body->setFont(FormStyle::body());
    body->setWordWrap(true);
    column->addWidget(body);

    m_failure->setObjectName(QStringLiteral("onboarding.finishError"));
    m_failure->setFont(Fonts::caption());
    m_failure->setWordWrap(true);
    m_failure->setTextFormat(Qt::PlainText);
    FormStyle::setTone(m_failure, Tone::red);
    m_failure->hide();
    column->addWidget(m_failure);

    StepLayout::finish(column);
}

void DoneStep::showFailure(const QString& description) {
    m_failure->setText(description.isEmpty() ? QString()
                                             : QStringLiteral("Failed: ") + description);
    m_failure->setVisible(!description.isEmpty());
}
