#include "views/settings/ReplaceTokenSheet.h"

#include "common/Fonts.h"
#include "settings/AccountPaneModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ReplaceTokenSheet::ReplaceTokenSheet(AccountPaneModel& model,
                                     std::function<void(std::optional<QString>)> onClose,
                                     QWidget* parent)
    : QDialog(parent, Qt::Sheet)
    , m_model(model)
    , m_onClose(std::move(onClose))
    , m_field(new QLineEdit(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
    , m_save(new QPushButton(QStringLiteral("Save"), this)) {
    setObjectName(QStringLiteral("settings.account.replaceSheet"));
    setWindowTitle(QStringLiteral("Replace worker token"));
    setMinimumWidth(380);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    auto* title = new QLabel(QStringLiteral("Replace worker token"), this);
    title->setFont(Fonts::headline());
    column->addWidget(title);

    m_field->setObjectName(QStringLiteral("settings.account.newToken"));
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setPlaceholderText(QStringLiteral("Worker token"));
    m_field->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                 Qt::ImhNoAutoUppercase);
    column->addWidget(m_field);

    auto* row = new QHBoxLayout();
    m_cancel->setObjectName(QStringLiteral("settings.account.cancelReplace"));
    m_cancel->setAutoDefault(false);
    row->addWidget(m_cancel);
    row->addStretch(1);
    // The dialog's default button: Return presses it while it is enabled.
    m_save->setObjectName(QStringLiteral("settings.account.saveToken"));
    m_save->setDefault(true);
    row->addWidget(m_save);
    column->addLayout(row);

    connect(m_field, &QLineEdit::textChanged, &m_model, &AccountPaneModel::setNewToken);
    connect(&m_model, &AccountPaneModel::newTokenChanged, this, &ReplaceTokenSheet::showToken);
    connect(m_cancel, &QPushButton::clicked, this, &ReplaceTokenSheet::reject);
    connect(m_save, &QPushButton::clicked, this, [this] { respond(m_model.newToken()); });
    showToken();
}

void ReplaceTokenSheet::dismiss() {
    QDialog::done(QDialog::Rejected);
}

void ReplaceTokenSheet::reject() {
    respond(std::nullopt);
}

void ReplaceTokenSheet::showEvent(QShowEvent* event) {
    m_closed = false;
    showToken();
    QDialog::showEvent(event);
}

void ReplaceTokenSheet::showToken() {
    if (m_field->text() != m_model.newToken()) {
        m_field->setText(m_model.newToken());
    }
    m_save->setEnabled(!m_closed && m_model.canSaveNewToken());
    m_cancel->setEnabled(!m_closed);
}

void ReplaceTokenSheet::respond(std::optional<QString> token) {
    if (m_closed) {
        return;
    }
    // Once per presentation: the keyring write may take a moment, and a second
    // press must not store twice.
    m_closed = true;
    showToken();
    if (m_onClose) {
        m_onClose(std::move(token));
    }
}
