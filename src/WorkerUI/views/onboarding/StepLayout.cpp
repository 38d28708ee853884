#include "views/onboarding/StepLayout.h"

#include <QVBoxLayout>
#include <QWidget>

namespace StepLayout {

QVBoxLayout* install(QWidget* step) {
    auto* column = new QVBoxLayout(step);
    column->setSpacing(12);
    column->setContentsMargins(28, 28, 28, 28);
    column->addStretch(1);
    return column;
}

void finish(QVBoxLayout* column) {
    column->addStretch(1);
}

} // namespace StepLayout
