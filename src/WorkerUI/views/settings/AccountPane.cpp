#include "views/settings/AccountPane.h"

#include "common/Fonts.h"
#include "settings/AccountPaneModel.h"
#include "views/settings/DetachedTask.h"
#include "views/settings/FormStyle.h"
#include "views/settings/ReplaceTokenSheet.h"
#include "views/settings/SettingsForm.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

AccountPane::AccountPane(AccountPaneModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_token(new QLabel())
    , m_replace(new QPushButton(QStringLiteral("Replace token…")))
    , m_test(new QPushButton(QStringLiteral("Test now")))
    , m_testProgress(new QProgressBar(m_test))
    , m_result(new QLabel()) {
    setObjectName(QStringLiteral("settings.account"));
    QVBoxLayout* column = SettingsForm::install(this);

    QFormLayout* token = SettingsForm::addSection(column, QStringLiteral("Worker token"));
    m_token->setObjectName(QStringLiteral("settings.account.token"));
    m_token->setFont(FormStyle::monospacedCaption());
    m_token->setTextFormat(Qt::PlainText);
    FormStyle::makeSelectable(m_token);
    token->addRow(QStringLiteral("Token"), m_token);
    m_replace->setObjectName(QStringLiteral("settings.account.replace"));
    m_replace->setAutoDefault(false);
    auto* replaceRow = new QHBoxLayout();
    replaceRow->addWidget(m_replace);
    replaceRow->addStretch(1);
    token->addRow(replaceRow);

    QFormLayout* test = SettingsForm::addSection(column, QStringLiteral("Test connection"));
    auto* testRow = new QHBoxLayout();
    testRow->setSpacing(10);
    m_test->setObjectName(QStringLiteral("settings.account.testNow"));
    m_test->setAutoDefault(false);
    m_test->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Keeps its width while the label gives way to the progress indicator.
    m_test->setMinimumWidth(m_test->sizeHint().width());
    auto* inside = new QHBoxLayout(m_test);
    inside->setContentsMargins(10, 0, 10, 0);
    m_testProgress->setObjectName(QStringLiteral("settings.account.testProgress"));
    m_testProgress->setRange(0, 0);
    m_testProgress->setTextVisible(false);
    m_testProgress->setFixedHeight(8);
    inside->addWidget(m_testProgress);
    testRow->addWidget(m_test);
    m_result->setObjectName(QStringLiteral("settings.account.testResult"));
    m_result->setFont(Fonts::caption());
    m_result->setTextFormat(Qt::PlainText);
    m_result->setWordWrap(true);
    testRow->addWidget(m_result, 1);
    test->addRow(testRow);

    column->addStretch(1);

    connect(m_replace, &QPushButton::clicked, &m_model, &AccountPaneModel::beginReplace);
    connect(m_test, &QPushButton::clicked, this, [this] { detachTask(m_model.testNow()); });
    connect(&m_model, &AccountPaneModel::maskedTokenChanged, this, &AccountPane::showToken);
    connect(&m_model, &AccountPaneModel::isTestingChanged, this, &AccountPane::showTest);
    connect(&m_model, &AccountPaneModel::testResultChanged, this, &AccountPane::showTest);
    connect(&m_model, &AccountPaneModel::replaceSheetChanged, this, &AccountPane::showSheet);
    showToken();
    showTest();
    showSheet();
}

void AccountPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    detachTask(m_model.loadMaskedToken());
}

void AccountPane::showToken() {
    m_token->setText(m_model.tokenRowText());
}

void AccountPane::showTest() {
    const bool testing = m_model.isTesting();
    m_test->setEnabled(!testing);
    m_test->setText(testing ? QString() : QStringLiteral("Test now"));
    m_testProgress->setVisible(testing);
    const auto& result = m_model.testResult();
    m_result->setVisible(result.has_value());
    if (result) {
        m_result->setText(result->text());
        FormStyle::setTone(m_result, result->tone());
    }
}

void AccountPane::showSheet() {
    if (!m_model.isReplaceSheetShown()) {
        if (m_sheet) {
            m_sheet->dismiss();
            m_sheet->deleteLater();
            m_sheet = nullptr;
        }
        return;
    }
    if (m_sheet) {
        return;
    }
    m_sheet = new ReplaceTokenSheet(
        m_model,
        [this](std::optional<QString> token) {
            detachTask(m_model.closeReplaceSheet(std::move(token)));
        },
        this);
    m_sheet->open();
}
