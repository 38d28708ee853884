#include "views/settings/UpdatesPane.h"

#include "common/ElidedLabel.h"
#include "common/Fonts.h"
#include "updates/UpdaterServicing.h"
#include "views/settings/FormStyle.h"
#include "views/settings/SettingsForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

UpdatesPane::UpdatesPane(UpdaterServicing& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_automaticChecks(new QCheckBox(QStringLiteral("Automatically check for updates")))
    , m_automaticDownloads(new QCheckBox(QStringLiteral("Automatically download updates")))
    , m_lastCheck(new QLabel())
    , m_feed(new ElidedLabel())
    , m_displayName(new QLabel())
    , m_checkNow(new QPushButton(QStringLiteral("Check now"))) {
    setObjectName(QStringLiteral("settings.updates"));
    QVBoxLayout* column = SettingsForm::install(this);

    QFormLayout* rows = SettingsForm::addSection(column, QStringLiteral("Auto-update"));
    m_automaticChecks->setObjectName(QStringLiteral("settings.updates.automaticChecks"));
    rows->addRow(m_automaticChecks);
    m_automaticDownloads->setObjectName(QStringLiteral("settings.updates.automaticDownloads"));
    rows->addRow(m_automaticDownloads);
    m_lastCheck->setObjectName(QStringLiteral("settings.updates.lastCheck"));
    m_lastCheck->setTextFormat(Qt::PlainText);
    FormStyle::setTone(m_lastCheck, Tone::secondary);
    rows->addRow(QStringLiteral("Last check"), m_lastCheck);
    m_feed->setObjectName(QStringLiteral("settings.updates.feedURL"));
    m_feed->setFont(FormStyle::monospacedCaption());
    FormStyle::makeSelectable(m_feed);
    SettingsForm::expandValue(m_feed);
    rows->addRow(QStringLiteral("Feed URL"), m_feed);

    column->addStretch(1);
    auto* last = new QHBoxLayout();
    m_displayName->setObjectName(QStringLiteral("settings.updates.displayName"));
    m_displayName->setFont(Fonts::caption());
    m_displayName->setTextFormat(Qt::PlainText);
    FormStyle::setTone(m_displayName, Tone::secondary);
    last->addWidget(m_displayName);
    last->addStretch(1);
    m_checkNow->setObjectName(QStringLiteral("settings.updates.checkNow"));
    m_checkNow->setAutoDefault(false);
    last->addWidget(m_checkNow);
    column->addLayout(last);

    connect(m_automaticChecks, &QCheckBox::toggled, this,
            [this](bool on) { m_service.setAutomaticChecksEnabled(on); });
    connect(m_automaticDownloads, &QCheckBox::toggled, this,
            [this](bool on) { m_service.setAutomaticDownloadsEnabled(on); });
    connect(m_checkNow, &QPushButton::clicked, this, [this] { m_service.checkForUpdates(); });
    connect(&m_service, &UpdaterServicing::changed, this, &UpdatesPane::showService);
    showService();
}

QString UpdatesPane::lastCheckText(const std::optional<QDateTime>& date) {
    if (!date || !date->isValid()) {
        return QStringLiteral("Never");
    }
    return QLocale().toString(date->toLocalTime(), QLocale::ShortFormat);
}

void UpdatesPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showService();
}

void UpdatesPane::showService() {
    {
        // Showing the service's flags is not writing them.
        const QSignalBlocker checksBlocker(m_automaticChecks);
        const QSignalBlocker downloadsBlocker(m_automaticDownloads);
        m_automaticChecks->setChecked(m_service.automaticChecksEnabled());
        m_automaticDownloads->setChecked(m_service.automaticDownloadsEnabled());
    }
    m_lastCheck->setText(lastCheckText(m_service.lastUpdateCheckDate()));
    const std::optional<QUrl> feed = m_service.feedURL();
    m_feed->setFullText(feed && !feed->isEmpty() ? feed->toString(QUrl::FullyEncoded)
                                                 : QString(QChar(0x2014)));
    m_displayName->setText(m_service.displayName());
    m_checkNow->setEnabled(m_service.canCheckForUpdates());
}
