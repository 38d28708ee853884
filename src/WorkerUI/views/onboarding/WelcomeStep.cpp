#include "views/onboarding/WelcomeStep.h"

#include "views/onboarding/StepLayout.h"
#include "views/settings/FormStyle.h"

#include <QLabel>
#include <QVBoxLayout>

WelcomeStep::WelcomeStep(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("onboarding.step.welcome"));
    QVBoxLayout* column = StepLayout::install(this);

    auto* title = new QLabel(QStringLiteral("Welcome"), this);
    title->setFont(FormStyle::largeTitle());
    column->addWidget(title);

    auto* body = new QLabel(QStringLiteral("This worker picks up ProRes, thumbnail, and "
                                           "preview-proxy jobs from Kestrel and processes them "
                                           "locally with a bundled ffmpeg."),
                            this);
    body->setFont(FormStyle::body());
    body->setWordWrap(true);
    column->addWidget(body);

    auto* where = new QLabel(
        QStringLiteral("It runs in the tray and the taskbar. You can pause it any time."), this);
    where->setFont(FormStyle::body());
    where->setWordWrap(true);
    FormStyle::setTone(where, Tone::secondary);
    column->addWidget(where);

    StepLayout::finish(column);
}
