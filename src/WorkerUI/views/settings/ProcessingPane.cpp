#include "views/settings/ProcessingPane.h"

#include "common/ElidedLabel.h"
#include "common/Fonts.h"
#include "settings/SettingsBinding.h"
#include "views/settings/FormStyle.h"
#include "views/settings/SaveRow.h"
#include "views/settings/SettingsForm.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* stepper(const QString& objectName, const QString& prefix, const QString& suffix,
                  qint64 minimum, qint64 maximum) {
    auto* box = new QSpinBox();
    box->setObjectName(objectName);
    box->setPrefix(prefix);
    box->setSuffix(suffix);
    box->setRange(static_cast<int>(minimum), static_cast<int>(maximum));
    box->setSingleStep(1);
    box->setAccelerated(true);
    return box;
}

} // namespace

ProcessingPane::ProcessingPane(SettingsBinding& binding, QWidget* parent)
    : QWidget(parent)
    , m_binding(binding)
    , m_concurrency(stepper(QStringLiteral("settings.processing.concurrency"),
                            QStringLiteral("Max concurrent jobs: "), QString(),
                            SettingsBinding::minConcurrency, SettingsBinding::maxConcurrency))
    , m_pollInterval(stepper(QStringLiteral("settings.processing.pollInterval"),
                             QStringLiteral("Poll interval: "), QStringLiteral(" s"),
                             SettingsBinding::minPollInterval, SettingsBinding::maxPollInterval))
    , m_path(new ElidedLabel())
    , m_choose(new QPushButton(QStringLiteral("Choose folder…")))
    , m_reset(new QPushButton(QStringLiteral("Reset to default"))) {
    setObjectName(QStringLiteral("settings.processing"));
    QVBoxLayout* column = SettingsForm::install(this);

    QFormLayout* concurrency = SettingsForm::addSection(column, QStringLiteral("Concurrency"));
    concurrency->addRow(SettingsForm::leading(m_concurrency));
    auto* advice = new QLabel(QStringLiteral("Default is one job per four CPU cores. Increase "
                                             "only if this computer has spare CPU."));
    advice->setFont(Fonts::caption());
    advice->setWordWrap(true);
    FormStyle::setTone(advice, Tone::secondary);
    concurrency->addRow(advice);

    QFormLayout* polling = SettingsForm::addSection(column, QStringLiteral("Polling"));
    polling->addRow(SettingsForm::leading(m_pollInterval));

    QFormLayout* scratch = SettingsForm::addSection(column, QStringLiteral("Scratch directory"));
    m_path->setObjectName(QStringLiteral("settings.processing.scratchPath"));
    m_path->setFont(Fonts::caption());
    FormStyle::makeSelectable(m_path);
    SettingsForm::expandValue(m_path);
    scratch->addRow(QStringLiteral("Path"), m_path);
    auto* buttons = new QHBoxLayout();
    m_choose->setObjectName(QStringLiteral("settings.processing.chooseFolder"));
    m_choose->setAutoDefault(false);
    buttons->addWidget(m_choose);
    m_reset->setObjectName(QStringLiteral("settings.processing.resetFolder"));
    m_reset->setAutoDefault(false);
    buttons->addWidget(m_reset);
    buttons->addStretch(1);
    scratch->addRow(buttons);

    column->addStretch(1);
    column->addWidget(new SaveRow(m_binding, QStringLiteral("settings.processing")));

    connect(m_concurrency, &QSpinBox::valueChanged, &m_binding,
            [this](int jobs) { m_binding.setMaxConcurrency(jobs); });
    connect(m_pollInterval, &QSpinBox::valueChanged, &m_binding,
            [this](int seconds) { m_binding.setPollInterval(seconds); });
    connect(m_choose, &QPushButton::clicked, this, &ProcessingPane::chooseFolder);
    connect(m_reset, &QPushButton::clicked, &m_binding, &SettingsBinding::resetScratchDirectory);
    connect(&m_binding, &SettingsBinding::draftChanged, this, &ProcessingPane::showDraft);
    showDraft();
}

void ProcessingPane::showDraft() {
    const Settings& draft = m_binding.draft();
    {
        // Showing a stored value outside the range must not rewrite the draft.
        const QSignalBlocker concurrencyBlocker(m_concurrency);
        const QSignalBlocker pollBlocker(m_pollInterval);
        m_concurrency->setValue(static_cast<int>(draft.maxConcurrency));
        m_pollInterval->setValue(static_cast<int>(draft.pollInterval));
    }
    m_path->setFullText(QDir::toNativeSeparators(m_binding.scratchPathText()));
    m_reset->setVisible(m_binding.showsResetScratchDirectory());
}

void ProcessingPane::chooseFolder() {
    if (m_folderPanel && m_folderPanel->isVisible()) {
        m_folderPanel->raise();
        m_folderPanel->activateWindow();
        return;
    }
    const QString current = m_binding.scratchPathText();
    auto* panel = new QFileDialog(this, QStringLiteral("Choose scratch folder"),
                                  QFileInfo(current).isDir() ? current : QDir::homePath());
    panel->setObjectName(QStringLiteral("settings.processing.folderPanel"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Only a confirmed local folder counts; cancelling changes nothing. Qt's own
    // dialog and the platform's both report the choice as local paths here.
    connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList& paths) {
        if (paths.size() == 1 && !paths.first().isEmpty()) {
            m_binding.setScratchDirectory(QDir::cleanPath(paths.first()));
        }
    });
    m_folderPanel = panel;
    panel->open();
}
