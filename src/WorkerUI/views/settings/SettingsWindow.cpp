#include "views/settings/SettingsWindow.h"

#include "common/Symbols.h"
#include "views/settings/AccountPane.h"
#include "views/settings/GeneralPane.h"
#include "views/settings/ProcessingPane.h"
#include "views/settings/UpdatesPane.h"

#include <QTabWidget>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(SettingsBinding& binding, AccountPaneModel& account,
                               UpdaterServicing& updater, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_tabs(new QTabWidget())
    , m_general(new GeneralPane(binding))
    , m_processing(new ProcessingPane(binding))
    , m_account(new AccountPane(account))
    , m_updates(new UpdatesPane(updater)) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Kestrel Worker Settings"));
    setFixedSize(fixedWidth, fixedHeight);

    auto* layout = new QVBoxLayout(this);
    m_tabs->setObjectName(QStringLiteral("settings.tabs"));
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(m_general, Symbols::icon(QStringLiteral("gear")), QStringLiteral("General"));
    m_tabs->addTab(m_processing, Symbols::icon(QStringLiteral("cpu")),
                   QStringLiteral("Processing"));
    m_tabs->addTab(m_account, Symbols::icon(QStringLiteral("person.circle")),
                   QStringLiteral("Account"));
    m_tabs->addTab(m_updates, Symbols::icon(QStringLiteral("arrow.down.circle")),
                   QStringLiteral("Updates"));
    layout->addWidget(m_tabs);
}

void SettingsWindow::selectTab(Tab tab) {
    m_tabs->setCurrentIndex(static_cast<int>(tab));
}

SettingsWindow::Tab SettingsWindow::currentTab() const {
    return static_cast<Tab>(m_tabs->currentIndex());
}
