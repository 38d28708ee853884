#include "UserInterface.h"

#include "AppDependencies.h"

#include <QWidget>

UserInterface::UserInterface(AppDependencies& dependencies, std::function<void()> onQuit,
                             std::function<void()> onOpenMainWindow, QObject* parent)
    : QObject(parent)
    , m_dependencies(dependencies)
    , m_onQuit(std::move(onQuit))
    , m_onOpenMainWindow(std::move(onOpenMainWindow)) {}

UserInterface::~UserInterface() = default;

void UserInterface::present(bool trayOnly) {
    Q_UNUSED(trayOnly);
}

void UserInterface::bringMainWindowToFront() {
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
}

QWidget* UserInterface::mainWindow() const {
    return m_mainWindow;
}
