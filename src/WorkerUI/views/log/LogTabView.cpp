#include "views/log/LogTabView.h"

#include "common/Symbols.h"
#include "log/LogTabViewModel.h"
#include "views/log/FileManagerReveal.h"
#include "views/log/LogListModel.h"
#include "views/log/LogListView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr LogEvent::Level kLevels[] = {LogEvent::Level::debug, LogEvent::Level::info,
                                       LogEvent::Level::warn, LogEvent::Level::error};

} // namespace

LogTabView::LogTabView(LogTabViewModel& viewModel, QString logDirectory, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_logDirectory(std::move(logDirectory))
    , m_levels(new QButtonGroup(this))
    , m_search(new QLineEdit(this))
    , m_list(new LogListView(this))
    , m_model(new LogListModel(m_viewModel, this))
    , m_reveal(new FileManagerReveal(QDBusConnection::sessionBus(), {}, this)) {
    setObjectName(QStringLiteral("log.tab"));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* bar = new QHBoxLayout();
    bar->setSpacing(12);
    bar->setContentsMargins(12, 10, 12, 10);

    // The level picker: four exclusive segments, 240 wide together.
    auto* picker = new QWidget(this);
    picker->setObjectName(QStringLiteral("log.levelPicker"));
    picker->setAccessibleName(QStringLiteral("Level"));
    picker->setFixedWidth(240);
    auto* segments = new QHBoxLayout(picker);
    segments->setSpacing(0);
    segments->setContentsMargins(0, 0, 0, 0);
    for (const LogEvent::Level level : kLevels) {
        auto* segment = new QToolButton(picker);
        const QString title = LogTabViewModel::levelTitle(level);
        segment->setObjectName(QStringLiteral("log.levelPicker.") + LogEvent::toString(level));
        segment->setText(title);
        segment->setAccessibleName(title);
        segment->setCheckable(true);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segments->addWidget(segment);
        m_levels->addButton(segment, static_cast<int>(level));
    }
    m_levels->setExclusive(true);
    bar->addWidget(picker, 0, Qt::AlignVCenter);

    m_search->setObjectName(QStringLiteral("log.searchField"));
    m_search->setAccessibleName(QStringLiteral("Search"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->setMaximumWidth(240);
    m_search->setText(m_viewModel.searchText());
    bar->addWidget(m_search, 1, Qt::AlignVCenter);
    // The flexible space, at least 8 wide; the search field grows first.
    bar->addItem(new QSpacerItem(8, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));

    auto* reveal = new QPushButton(Symbols::icon(QStringLiteral("folder")),
                                   QStringLiteral("Show in File Manager"), this);
    reveal->setObjectName(QStringLiteral("log.revealButton"));
    reveal->setToolTip(QStringLiteral("Open the rolling-log folder in the file manager"));
    bar->addWidget(reveal, 0, Qt::AlignVCenter);
    layout->addLayout(bar);

    m_list->setObjectName(QStringLiteral("log.list"));
    m_list->setAccessibleName(QStringLiteral("Log"));
    m_list->setModel(m_model);
    layout->addWidget(m_list, 1);

    showMinimumLevel();
    connect(m_levels, &QButtonGroup::idClicked, this,
            [this](int id) { m_viewModel.setMinimumLevel(static_cast<LogEvent::Level>(id)); });
    connect(&m_viewModel, &LogTabViewModel::minimumLevelChanged, this,
            &LogTabView::showMinimumLevel);
    connect(m_search, &QLineEdit::textChanged, &m_viewModel, &LogTabViewModel::setSearchText);
    connect(&m_viewModel, &LogTabViewModel::searchTextChanged, this, &LogTabView::showSearchText);
    connect(reveal, &QPushButton::clicked, this, [this] { m_reveal->reveal(m_logDirectory); });
    connect(&m_viewModel, &LogTabViewModel::followRequested, this, &LogTabView::scrollToEvent);
    // A rebuilt list (new filter, fresh snapshot) starts from its newest row too.
    connect(m_model, &QAbstractItemModel::modelReset, this, &LogTabView::scrollToLastRow);
}

void LogTabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_viewModel.start();
        scrollToLastRow();
    }
}

void LogTabView::showMinimumLevel() {
    if (QAbstractButton* segment = m_levels->button(static_cast<int>(m_viewModel.minimumLevel()))) {
        segment->setChecked(true);
    }
}

void LogTabView::showSearchText() {
    if (m_search->text() != m_viewModel.searchText()) {
        m_search->setText(m_viewModel.searchText());
    }
}

void LogTabView::scrollToEvent(const QUuid& id) {
    m_list->scrollToRowAtBottom(m_model->rowOf(id));
}

void LogTabView::scrollToLastRow() {
    m_list->scrollToRowAtBottom(m_model->rowCount() - 1);
}
