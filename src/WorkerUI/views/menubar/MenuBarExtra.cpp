#include "views/menubar/MenuBarExtra.h"

#include "engine/EngineControlling.h"
#include "now/NowTabViewModel.h"
#include "views/menubar/MenuBarPopoverView.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

MenuBarExtra::MenuBarExtra(NowTabViewModel& viewModel, std::function<void()> onOpenMainWindow,
                           std::function<void()> onQuit, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_onOpenMainWindow(std::move(onOpenMainWindow))
    , m_onQuit(std::move(onQuit))
    , m_tray(new QSystemTrayIcon(this))
    , m_menu(new QMenu()) {
    m_tray->setObjectName(QStringLiteral("menuBar.icon"));
    // Trays whose click opens nothing still offer this menu.
    QAction* status = m_menu->addAction(QString());
    status->setEnabled(false);
    m_menu->addSeparator();
    QAction* pause = m_menu->addAction(QString());
    QAction* open = m_menu->addAction(QStringLiteral("Open Main Window"));
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit"));
    connect(m_menu, &QMenu::aboutToShow, this, [this, status, pause] {
        status->setText(m_viewModel.pillText());
        pause->setText(
            MenuBarPopoverView::pauseButtonTitle(m_viewModel.isRunning(), m_viewModel.isPaused()));
    });
    connect(pause, &QAction::triggered, this, [this] {
        if (m_viewModel.isRunning()) {
            m_viewModel.togglePause();
        } else {
            m_viewModel.engine().start();
        }
    });
    connect(open, &QAction::triggered, this, [this] { m_onOpenMainWindow(); });
    connect(quit, &QAction::triggered, this, [this] { m_onQuit(); });
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    showPanel();
                }
            });

    connect(&m_viewModel, &NowTabViewModel::statusChanged, this, &MenuBarExtra::refresh);
    connect(&m_viewModel, &NowTabViewModel::activeJobsChanged, this, &MenuBarExtra::refresh);
    m_tray->setIcon(MenuBarStatusIcon::render(m_state));
    refresh();
    m_tray->show();
}

MenuBarExtra::~MenuBarExtra() {
    delete m_panel;
    delete m_menu;
}

MenuBarPopoverView& MenuBarExtra::panel() {
    if (!m_panel) {
        m_panel = new MenuBarPopoverView(
            m_viewModel,
            [this] {
                m_panel->hide();
                m_onOpenMainWindow();
            },
            [this] {
                m_panel->hide();
                m_onQuit();
            });
        m_panel->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    }
    return *m_panel;
}

void MenuBarExtra::showPanel() {
    MenuBarPopoverView& view = panel();
    view.rebuildIfStale();
    view.adjustSize();
    // Under the icon when the tray says where it is, else at the pointer.
    QRect anchor = m_tray->geometry();
    if (!anchor.isValid()) {
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    }
    QPoint position(anchor.center().x() - view.width() / 2, anchor.bottom() + 4);
    if (const QScreen* screen = QGuiApplication::screenAt(anchor.center())) {
        const QRect area = screen->availableGeometry();
        if (position.y() + view.height() > area.bottom()) {
            position.setY(anchor.top() - view.height() - 4); // a tray at the bottom
        }
        position.setX(std::clamp(position.x(), area.left(), area.right() - view.width()));
    }
    view.move(position);
    view.show();
    view.raise();
    view.activateWindow();
}

void MenuBarExtra::refresh() {
    const MenuBarStatusIcon::State next =
        MenuBarStatusIcon::iconState(m_viewModel.pillKind(), m_viewModel.activeJobs().size());
    m_tray->setToolTip(QStringLiteral("Kestrel Worker — ") + m_viewModel.pillText());
    if (next == m_state) {
        return;
    }
    m_state = next;
    m_tray->setIcon(MenuBarStatusIcon::render(m_state));
    emit stateChanged(m_state);
}
