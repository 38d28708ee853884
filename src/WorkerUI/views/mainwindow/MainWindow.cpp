#include "views/mainwindow/MainWindow.h"

#include "common/Symbols.h"
#include "views/history/HistoryTabView.h"
#include "views/log/LogTabView.h"
#include "views/now/NowTabView.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenuBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>

namespace {
constexpr int kSidebarMinimum = 160;
constexpr int kSidebarIdeal = 180;
constexpr MainWindow::Tab kTabs[] = {MainWindow::Tab::now, MainWindow::Tab::history,
                                     MainWindow::Tab::log};
} // namespace

QString MainWindow::title(Tab tab) {
    switch (tab) {
    case Tab::now:
        return QStringLiteral("Now");
    case Tab::history:
        return QStringLiteral("History");
    case Tab::log:
        return QStringLiteral("Log");
    }
    return {};
}

QString MainWindow::systemImage(Tab tab) {
    switch (tab) {
    case Tab::now:
        return QStringLiteral("circle.fill");
    case Tab::history:
        return QStringLiteral("list.bullet.rectangle");
    case Tab::log:
        return QStringLiteral("doc.text");
    }
    return {};
}

MainWindow::MainWindow(NowTabViewModel& nowVM, HistoryTabViewModel& historyVM,
                       LogTabViewModel& logVM, QString logDirectory, bool requiresOnboarding,
                       QWidget* parent)
    : QMainWindow(parent)
    , m_nowVM(nowVM)
    , m_historyVM(historyVM)
    , m_logVM(logVM)
    , m_logDirectory(std::move(logDirectory))
    , m_requiresOnboarding(requiresOnboarding)
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_sidebar(new QListWidget(m_splitter)) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Kestrel Worker"));
    setMinimumSize(720, 480);
    resize(860, 560);

    m_sidebar->setObjectName(QStringLiteral("main.sidebar"));
    m_sidebar->setAccessibleName(QStringLiteral("main.sidebar"));
    m_sidebar->setMinimumWidth(kSidebarMinimum);
    m_sidebar->setIconSize(QSize(16, 16));
    m_sidebar->setFrameShape(QFrame::NoFrame);
    for (const Tab tab : kTabs) {
        auto* item = new QListWidgetItem(Symbols::icon(systemImage(tab)), title(tab), m_sidebar);
        item->setData(Qt::UserRole, static_cast<int>(tab));
        item->setSizeHint(QSize(0, 30));
    }
    m_sidebar->setCurrentRow(0);
    m_splitter->addWidget(m_sidebar);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    setCentralWidget(m_splitter);
    showDetail();
    m_splitter->setSizes({kSidebarIdeal, width() - kSidebarIdeal});

    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            select(kTabs[row]);
        }
    });

    // Acts on whichever window has focus: it never reopens or raises this one
    // over a focused Settings window.
    QMenu* windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction* showMain = windowMenu->addAction(QStringLiteral("Show Main Window"));
    showMain->setObjectName(QStringLiteral("main.showMainWindow"));
    showMain->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    showMain->setShortcutContext(Qt::ApplicationShortcut);
    connect(showMain, &QAction::triggered, this, [] {
        if (QWidget* focused = QApplication::activeWindow()) {
            focused->raise();
            focused->activateWindow();
        }
    });
}

void MainWindow::select(Tab tab) {
    if (tab == m_selection && m_detail) {
        return;
    }
    m_selection = tab;
    const int row = static_cast<int>(tab);
    if (m_sidebar->currentRow() != row) {
        m_sidebar->setCurrentRow(row);
    }
    showDetail();
}

void MainWindow::showDetail() {
    QWidget* next = nullptr;
    switch (m_selection) {
    case Tab::now:
        next = new NowTabView(m_nowVM);
        break;
    case Tab::history:
        next = new HistoryTabView(m_historyVM, m_logDirectory);
        break;
    case Tab::log:
        next = new LogTabView(m_logVM, m_logDirectory);
        break;
    }
    if (m_detail) {
        // Keeps the column sizes; the old tab goes once its events are done.
        m_splitter->replaceWidget(1, next);
        m_detail->deleteLater();
    } else {
        m_splitter->addWidget(next);
        m_splitter->setStretchFactor(1, 1);
    }
    m_detail = next;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_didCheckOnboarding) {
        m_didCheckOnboarding = true;
        if (m_requiresOnboarding) {
            // After the window is up, so onboarding opens beside it.
            QTimer::singleShot(0, this, &MainWindow::onboardingRequested);
        }
    }
}
