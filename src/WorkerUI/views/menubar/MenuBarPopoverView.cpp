#include "views/menubar/MenuBarPopoverView.h"

#include "common/ElidedLabel.h"
#include "common/Fonts.h"
#include "common/ToneColors.h"
#include "engine/EngineControlling.h"
#include "now/NowTabViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QFrame* divider() {
    auto* line = new QFrame();
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

MenuBarPopoverView::MenuBarPopoverView(NowTabViewModel& viewModel,
                                       std::function<void()> onOpenMainWindow,
                                       std::function<void()> onQuit, QWidget* parent)
    : QFrame(parent)
    , m_viewModel(viewModel)
    , m_status(new QLabel(this))
    , m_jobs(new QWidget(this))
    , m_jobsLayout(new QVBoxLayout(m_jobs))
    , m_pause(new QPushButton(this)) {
    setObjectName(QStringLiteral("menuBar.panel"));
    setFrameShape(QFrame::StyledPanel);
    setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(14, 14, 14, 14);

    m_status->setObjectName(QStringLiteral("menuBar.status"));
    m_status->setFont(Fonts::headline());
    m_status->setTextFormat(Qt::PlainText);
    layout->addWidget(m_status);
    layout->addSpacing(4);

    m_jobsLayout->setContentsMargins(0, 0, 0, 0);
    m_jobsLayout->setSpacing(6);
    layout->addWidget(m_jobs);

    auto* buttons = new QHBoxLayout();
    m_pause->setObjectName(QStringLiteral("menuBar.pauseButton"));
    buttons->addWidget(m_pause);
    buttons->addStretch(1);
    auto* open = new QPushButton(QStringLiteral("Open Main Window"), this);
    open->setObjectName(QStringLiteral("menuBar.openMainWindow"));
    buttons->addWidget(open);
    layout->addLayout(buttons);

    auto* quitRow = new QHBoxLayout();
    quitRow->addStretch(1);
    auto* quit = new QPushButton(QStringLiteral("Quit"), this);
    quit->setObjectName(QStringLiteral("menuBar.quit"));
    quit->setStyleSheet(QStringLiteral("color: %1;").arg(toneColor(Tone::red, palette()).name()));
    quitRow->addWidget(quit);
    layout->addLayout(quitRow);

    connect(m_pause, &QPushButton::clicked, this, [this] {
        if (m_viewModel.isRunning()) {
            m_viewModel.togglePause();
        } else {
            m_viewModel.engine().start();
        }
    });
    connect(open, &QPushButton::clicked, this,
            [onOpenMainWindow = std::move(onOpenMainWindow)] { onOpenMainWindow(); });
    connect(quit, &QPushButton::clicked, this, [onQuit = std::move(onQuit)] { onQuit(); });
    connect(&m_viewModel, &NowTabViewModel::statusChanged, this, &MenuBarPopoverView::showStatus);
    connect(&m_viewModel, &NowTabViewModel::activeJobsChanged, this, &MenuBarPopoverView::showJobs);
    showStatus();
    showJobs();
}

QString MenuBarPopoverView::pauseButtonTitle(bool isRunning, bool isPaused) {
    return isRunning && !isPaused ? QStringLiteral("Pause") : QStringLiteral("Resume");
}

void MenuBarPopoverView::showStatus() {
    m_status->setText(m_viewModel.pillText());
    m_pause->setText(pauseButtonTitle(m_viewModel.isRunning(), m_viewModel.isPaused()));
}

void MenuBarPopoverView::showEvent(QShowEvent* event) {
    rebuildIfStale();
    QFrame::showEvent(event);
}

void MenuBarPopoverView::rebuildIfStale() {
    if (m_jobsStale) {
        rebuildJobs();
    }
}

void MenuBarPopoverView::showJobs() {
    // A hidden panel is rebuilt once when it opens, not at every progress report.
    if (!isVisible()) {
        m_jobsStale = true;
        return;
    }
    rebuildJobs();
}

void MenuBarPopoverView::rebuildJobs() {
    m_jobsStale = false;
    while (QLayoutItem* item = m_jobsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<ActiveJob>& jobs = m_viewModel.activeJobs();
    const QString secondary =
        QStringLiteral("color: %1;").arg(toneColor(Tone::secondary, palette()).name());
    if (jobs.isEmpty()) {
        auto* none = new QLabel(QStringLiteral("No active jobs"));
        none->setObjectName(QStringLiteral("menuBar.noJobs"));
        none->setFont(Fonts::caption());
        none->setStyleSheet(secondary);
        m_jobsLayout->addWidget(none);
    } else {
        m_jobsLayout->addWidget(divider());
        for (const ActiveJob& job : jobs) {
            auto* row = new QWidget();
            row->setObjectName(QStringLiteral("menuBar.job"));
            row->setProperty("jobID", job.id);
            auto* rowLayout = new QHBoxLayout(row);
            rowLayout->setContentsMargins(0, 0, 0, 0);
            auto* name = new ElidedLabel(row);
            name->setFullText(job.fileName);
            rowLayout->addWidget(name, 1);
            auto* percent = new QLabel(QString::number(job.percent) + QLatin1Char('%'), row);
            percent->setObjectName(QStringLiteral("menuBar.job.percent"));
            percent->setFont(Fonts::caption());
            percent->setStyleSheet(secondary);
            rowLayout->addWidget(percent);
            m_jobsLayout->addWidget(row);
        }
        m_jobsLayout->addWidget(divider());
    }
    adjustSize();
}
