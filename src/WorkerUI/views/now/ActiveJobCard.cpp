#include "views/now/ActiveJobCard.h"

#include "common/ElidedLabel.h"
#include "common/Fonts.h"
#include "common/Symbols.h"
#include "common/ToneColors.h"
#include "now/NowTabViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ActiveJobCard::ActiveJobCard(const ActiveJob& job, std::function<void()> onCancel, QWidget* parent)
    : QFrame(parent)
    , m_symbol(new QLabel(this))
    , m_fileName(new ElidedLabel(this))
    , m_elapsed(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_state(new QLabel(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("now.jobCard"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#now\\.jobCard { background: palette(alternate-base);"
                                 " border-radius: 10px; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->setContentsMargins(12, 12, 12, 12);

    auto* header = new QHBoxLayout();
    header->addWidget(m_symbol);
    m_fileName->setObjectName(QStringLiteral("now.jobCard.fileName"));
    m_fileName->setFont(Fonts::headline());
    header->addWidget(m_fileName, 1);
    m_elapsed->setObjectName(QStringLiteral("now.jobCard.elapsed"));
    m_elapsed->setFont(Fonts::caption());
    header->addWidget(m_elapsed);
    layout->addLayout(header);

    m_progress->setObjectName(QStringLiteral("now.jobCard.progress"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);

    auto* footer = new QHBoxLayout();
    m_state->setObjectName(QStringLiteral("now.jobCard.state"));
    m_state->setFont(Fonts::caption());
    footer->addWidget(m_state);
    footer->addStretch(1);
    m_cancel->setObjectName(QStringLiteral("now.jobCard.cancel"));
    m_cancel->setFlat(true);
    m_cancel->setFont(Fonts::caption());
    m_cancel->setCursor(Qt::PointingHandCursor);
    footer->addWidget(m_cancel);
    layout->addLayout(footer);

    const QString secondary = toneColor(Tone::secondary, palette()).name();
    m_elapsed->setStyleSheet(QStringLiteral("color: %1;").arg(secondary));
    m_state->setStyleSheet(QStringLiteral("color: %1;").arg(secondary));
    m_cancel->setStyleSheet(
        QStringLiteral("color: %1; border: none;").arg(toneColor(Tone::red, palette()).name()));
    connect(m_cancel, &QPushButton::clicked, this,
            [onCancel = std::move(onCancel)] { onCancel(); });

    setJob(job);
}

void ActiveJobCard::setJob(const ActiveJob& job) {
    m_job = job;
    setProperty("jobID", job.id);
    m_symbol->setPixmap(
        Symbols::icon(NowTabViewModel::jobTypeSymbol(job.jobType)).pixmap(QSize(18, 18)));
    m_fileName->setFullText(job.fileName);
    m_elapsed->setText(
        NowTabViewModel::elapsedText(job.startedAt, QDateTime::currentDateTimeUtc()));
    m_progress->setValue(std::clamp(job.percent, 0, 100));
    m_state->setText(NowTabViewModel::stateText(job.state));
}
