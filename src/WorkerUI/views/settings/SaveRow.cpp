#include "views/settings/SaveRow.h"

#include "common/Fonts.h"
#include "settings/SettingsBinding.h"
#include "views/settings/DetachedTask.h"
#include "views/settings/FormStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

SaveRow::SaveRow(SettingsBinding& binding, const QString& objectNamePrefix, QWidget* parent)
    : QWidget(parent)
    , m_binding(binding)
    , m_failure(new QLabel(this))
    , m_save(new QPushButton(QStringLiteral("Save"), this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_failure->setObjectName(objectNamePrefix + QStringLiteral(".saveError"));
    m_failure->setFont(Fonts::caption());
    m_failure->setTextFormat(Qt::PlainText);
    m_failure->setWordWrap(true);
    FormStyle::setTone(m_failure, Tone::red);
    m_failure->hide();
    row->addWidget(m_failure, 1);
    row->addStretch(0);
    m_save->setObjectName(objectNamePrefix + QStringLiteral(".save"));
    // Only the visible tab's button answers the shortcut.
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_save->setAutoDefault(false);
    row->addWidget(m_save);

    connect(m_save, &QPushButton::clicked, this, &SaveRow::save);
    connect(&m_binding, &SettingsBinding::saveFailed, this, [this](const QString& description) {
        m_failure->setText(QStringLiteral("Failed: ") + description);
        m_failure->show();
    });
}

void SaveRow::save() {
    m_failure->hide();
    detachTask(
        [](SettingsBinding& binding) -> QCoro::Task<void> { co_await binding.save(); }(m_binding));
}
