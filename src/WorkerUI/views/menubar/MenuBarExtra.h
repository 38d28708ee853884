#pragma once

#include "views/menubar/MenuBarStatusIcon.h"

#include <QObject>
#include <QPointer>
#include <functional>

class MenuBarPopoverView;
class NowTabViewModel;
class QMenu;
class QSystemTrayIcon;

// The agent's tray item for the life of the process: an icon that tells idle,
// working (with a badge) or errored, a panel on click and a menu for trays that
// only offer one.
class MenuBarExtra : public QObject {
    Q_OBJECT

public:
    MenuBarExtra(NowTabViewModel& viewModel, std::function<void()> onOpenMainWindow,
                 std::function<void()> onQuit, QObject* parent = nullptr);
    ~MenuBarExtra() override;

    const MenuBarStatusIcon::State& state() const { return m_state; }
    QSystemTrayIcon& trayIcon() { return *m_tray; }
    // The panel, created on first use; screenshots render it directly.
    MenuBarPopoverView& panel();
    void showPanel();

signals:
    void stateChanged(const MenuBarStatusIcon::State& state);

private:
    void refresh();

    NowTabViewModel& m_viewModel;
    std::function<void()> m_onOpenMainWindow;
    std::function<void()> m_onQuit;
    QSystemTrayIcon* m_tray;
    QMenu* m_menu;
    QPointer<MenuBarPopoverView> m_panel;
    MenuBarStatusIcon::State m_state = MenuBarStatusIcon::State::idle(0);
};
