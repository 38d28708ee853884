#include "views/settings/SettingsForm.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWidget>

namespace SettingsForm {

QVBoxLayout* install(QWidget* pane) {
    pane->setMinimumSize(minimumWidth, minimumHeight);
    auto* column = new QVBoxLayout(pane);
    column->setSpacing(10);
    return column;
}

QFormLayout* addSection(QVBoxLayout* column, const QString& title) {
    auto* section = new QGroupBox(title);
    auto* rows = new QFormLayout(section);
    rows->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    rows->setRowWrapPolicy(QFormLayout::DontWrapRows);
    column->addWidget(section);
    return rows;
}

QHBoxLayout* leading(QWidget* widget) {
    auto* row = new QHBoxLayout();
    row->addWidget(widget);
    row->addStretch(1);
    return row;
}

void expandValue(QWidget* value) {
    value->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

} // namespace SettingsForm
