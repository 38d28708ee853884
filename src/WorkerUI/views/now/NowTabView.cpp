#include "views/now/NowTabView.h"

#include "common/Fonts.h"
#include "common/Symbols.h"
#include "common/ToneColors.h"
#include "now/NowTabViewModel.h"
#include "views/now/ActiveJobCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QPixmap dot(const QColor& color) {
    QPixmap pixmap(20, 20);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 10, 10));
    return pixmap;
}

} // namespace

NowTabView::NowTabView(NowTabViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_pill(new QWidget(this))
    , m_pillDot(new QLabel(m_pill))
    , m_pillText(new QLabel(m_pill))
    , m_mainButton(new QPushButton(this))
    , m_disconnect(new QPushButton(QStringLiteral("Disconnect"), this))
    , m_content(new QStackedWidget(this))
    , m_emptyDescription(new QLabel(this))
    , m_cardsHost(new QWidget())
    , m_cardsLayout(new QVBoxLayout(m_cardsHost)) {
    setObjectName(QStringLiteral("now.tab"));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->setContentsMargins(20, 20, 20, 20);

    // The pill: a dot and the status line on a tinted capsule.
    m_pill->setObjectName(QStringLiteral("now.pill"));
    m_pill->setAttribute(Qt::WA_StyledBackground);
    auto* pillLayout = new QHBoxLayout(m_pill);
    pillLayout->setSpacing(10);
    pillLayout->setContentsMargins(14, 8, 14, 8);
    m_pillDot->setFixedSize(10, 10);
    pillLayout->addWidget(m_pillDot);
    m_pillText->setObjectName(QStringLiteral("now.statusPill"));
    m_pillText->setFont(Fonts::title3Semibold());
    m_pillText->setTextFormat(Qt::PlainText);
    pillLayout->addWidget(m_pillText);
    layout->addWidget(m_pill, 0, Qt::AlignLeft);

    auto* controls = new QHBoxLayout();
    controls->setSpacing(12);
    m_mainButton->setObjectName(QStringLiteral("now.startPauseButton"));
    m_mainButton->setMinimumWidth(90);
    controls->addWidget(m_mainButton);
    m_disconnect->setObjectName(QStringLiteral("now.disconnectButton"));
    m_disconnect->setFlat(true);
    m_disconnect->setStyleSheet(
        QStringLiteral("color: %1;").arg(toneColor(Tone::red, palette()).name()));
    controls->addWidget(m_disconnect);
    controls->addStretch(1);
    layout->addLayout(controls);

    // Empty state, or the cards in a scroll view.
    auto* empty = new QWidget();
    empty->setObjectName(QStringLiteral("now.emptyState"));
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch(1);
    auto* emptyIcon = new QLabel();
    emptyIcon->setPixmap(Symbols::icon(QStringLiteral("tray")).pixmap(QSize(40, 40)));
    emptyIcon->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(emptyIcon);
    auto* emptyTitle = new QLabel(QStringLiteral("No active jobs"));
    emptyTitle->setFont(Fonts::title3Semibold());
    emptyTitle->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(emptyTitle);
    m_emptyDescription->setObjectName(QStringLiteral("now.emptyState.description"));
    m_emptyDescription->setAlignment(Qt::AlignCenter);
    m_emptyDescription->setStyleSheet(
        QStringLiteral("color: %1;").arg(toneColor(Tone::secondary, palette()).name()));
    emptyLayout->addWidget(m_emptyDescription);
    emptyLayout->addStretch(1);
    m_content->addWidget(empty);

    auto* scroll = new QScrollArea();
    scroll->setObjectName(QStringLiteral("now.jobs"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_cardsLayout->setSpacing(12);
    m_cardsLayout->setContentsMargins(0, 4, 0, 4);
    m_cardsLayout->addStretch(1);
    scroll->setWidget(m_cardsHost);
    m_content->addWidget(scroll);
    layout->addWidget(m_content, 1);

    connect(m_mainButton, &QPushButton::clicked, &m_viewModel, &NowTabViewModel::pressMainButton);
    // Its own shortcut object: a button's text change resets the button's shortcut.
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this);
    connect(returnKey, &QShortcut::activated, m_mainButton, &QPushButton::click);
    connect(m_disconnect, &QPushButton::clicked, &m_viewModel, &NowTabViewModel::disconnectEngine);
    connect(&m_viewModel, &NowTabViewModel::statusChanged, this, &NowTabView::showStatus);
    connect(&m_viewModel, &NowTabViewModel::activeJobsChanged, this, &NowTabView::showJobs);
    showStatus();
    showJobs();
}

void NowTabView::showStatus() {
    const QColor color = toneColor(m_viewModel.pillTone(), palette());
    m_pillDot->setPixmap(dot(color));
    m_pillText->setText(m_viewModel.pillText());
    m_pill->setStyleSheet(QStringLiteral("#now\\.pill { background: rgba(%1, %2, %3, 31);"
                                         " border-radius: 16px; }")
                              .arg(color.red())
                              .arg(color.green())
                              .arg(color.blue()));
    m_mainButton->setText(m_viewModel.mainButtonTitle());
    m_disconnect->setVisible(m_viewModel.showsDisconnect());
    m_emptyDescription->setText(m_viewModel.emptyStateDescription());
}

void NowTabView::showJobs() {
    const QList<ActiveJob>& jobs = m_viewModel.activeJobs();
    QHash<QString, ActiveJobCard*> kept;
    for (int index = 0; index < jobs.size(); ++index) {
        const ActiveJob& job = jobs[index];
        ActiveJobCard* card = m_cards.take(job.id);
        if (card == nullptr) {
            const QString id = job.id;
            card = new ActiveJobCard(
                job, [this, id] { m_viewModel.cancelJob(id); }, m_cardsHost);
        } else {
            card->setJob(job);
        }
        // Keep the engine's order; the stretch stays last.
        m_cardsLayout->removeWidget(card);
        m_cardsLayout->insertWidget(index, card);
        kept.insert(job.id, card);
    }
    for (ActiveJobCard* gone : std::as_const(m_cards)) {
        m_cardsLayout->removeWidget(gone);
        gone->hide();
        gone->deleteLater();
    }
    m_cards = kept;
    m_content->setCurrentIndex(jobs.isEmpty() ? 0 : 1);
}
