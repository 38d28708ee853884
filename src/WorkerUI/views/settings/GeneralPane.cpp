#include "views/settings/GeneralPane.h"

#include "common/Fonts.h"
#include "settings/ServerURLText.h"
#include "settings/SettingsBinding.h"
#include "views/settings/FormStyle.h"
#include "views/settings/SaveRow.h"
#include "views/settings/SettingsForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

GeneralPane::GeneralPane(SettingsBinding& binding, QWidget* parent)
    : QWidget(parent)
    , m_binding(binding)
    , m_workerName(new QLineEdit())
    , m_workerID(new QLabel())
    , m_serverURL(new QLineEdit())
    , m_hint(new QLabel(ServerURLText::hint()))
    , m_autoStart(new QCheckBox(QStringLiteral("Auto-start polling when launched")))
    , m_launchAtLogin(new QCheckBox(QStringLiteral("Launch at login")))
    , m_hideDock(new QCheckBox(QStringLiteral("Hide taskbar icon (tray only)")))
    , m_saveRow(new SaveRow(binding, QStringLiteral("settings.general"))) {
    setObjectName(QStringLiteral("settings.general"));
    QVBoxLayout* column = SettingsForm::install(this);

    QFormLayout* identity = SettingsForm::addSection(column, QStringLiteral("Identity"));
    m_workerName->setObjectName(QStringLiteral("settings.general.workerName"));
    identity->addRow(QStringLiteral("Worker name"), m_workerName);
    m_workerID->setObjectName(QStringLiteral("settings.general.workerID"));
    m_workerID->setFont(FormStyle::monospacedCaption());
    m_workerID->setTextFormat(Qt::PlainText);
    FormStyle::makeSelectable(m_workerID);
    identity->addRow(QStringLiteral("Worker ID"), m_workerID);

    QFormLayout* server = SettingsForm::addSection(column, QStringLiteral("Server"));
    m_serverURL->setObjectName(QStringLiteral("settings.general.serverURL"));
    m_serverURL->setPlaceholderText(QStringLiteral(KW_DEFAULT_SERVER_URL));
    m_serverURL->setInputMethodHints(Qt::ImhUrlCharactersOnly | Qt::ImhNoAutoUppercase |
                                     Qt::ImhNoPredictiveText);
    server->addRow(QStringLiteral("Server URL"), m_serverURL);
    m_hint->setObjectName(QStringLiteral("settings.general.serverURLHint"));
    m_hint->setFont(Fonts::caption());
    FormStyle::setTone(m_hint, Tone::red);
    server->addRow(static_cast<QWidget*>(nullptr), m_hint);
    m_serverSection = server;

    QFormLayout* behaviour = SettingsForm::addSection(column, QStringLiteral("Behaviour"));
    m_autoStart->setObjectName(QStringLiteral("settings.general.autoStart"));
    behaviour->addRow(m_autoStart);
    m_launchAtLogin->setObjectName(QStringLiteral("settings.general.launchAtLogin"));
    behaviour->addRow(m_launchAtLogin);
    m_hideDock->setObjectName(QStringLiteral("settings.general.hideDock"));
    m_hideDock->setToolTip(QStringLiteral("Requires app restart to take effect"));
    behaviour->addRow(m_hideDock);

    column->addStretch(1);
    column->addWidget(m_saveRow);

    connect(m_workerName, &QLineEdit::textChanged, &m_binding, &SettingsBinding::setWorkerName);
    connect(m_serverURL, &QLineEdit::textChanged, &m_binding, &SettingsBinding::setServerURLString);
    connect(m_autoStart, &QCheckBox::toggled, &m_binding,
            &SettingsBinding::setAutoStartPollingOnLaunch);
    connect(m_launchAtLogin, &QCheckBox::toggled, &m_binding, &SettingsBinding::setLaunchAtLogin);
    connect(m_hideDock, &QCheckBox::toggled, &m_binding, &SettingsBinding::setHideDockIcon);
    connect(&m_binding, &SettingsBinding::draftChanged, this, &GeneralPane::showDraft);
    connect(&m_binding, &SettingsBinding::serverURLStringChanged, this,
            &GeneralPane::showServerURL);
    showDraft();
    showServerURL();
}

void GeneralPane::showDraft() {
    const Settings& draft = m_binding.draft();
    if (m_workerName->text() != draft.workerName) {
        const QSignalBlocker blocker(m_workerName);
        m_workerName->setText(draft.workerName);
    }
    m_workerID->setText(Settings::workerIDText(draft.workerID));
    m_autoStart->setChecked(draft.autoStartPollingOnLaunch);
    m_launchAtLogin->setChecked(draft.launchAtLogin);
    m_hideDock->setChecked(draft.hideDockIcon);
}

void GeneralPane::showServerURL() {
    if (m_serverURL->text() != m_binding.serverURLString()) {
        const QSignalBlocker blocker(m_serverURL);
        m_serverURL->setText(m_binding.serverURLString());
    }
    const bool valid = m_binding.isServerURLValid();
    m_serverSection->setRowVisible(m_hint, !valid);
    m_saveRow->button()->setEnabled(valid);
}
