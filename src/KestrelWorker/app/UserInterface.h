#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class AppDependencies;
class QWidget;

// The operator interface of the desktop process: view models, windows and the
// tray, built once start-up has succeeded and kept for the life of the process.
class UserInterface : public QObject {
    Q_OBJECT

public:
    UserInterface(AppDependencies& dependencies, std::function<void()> onQuit,
                  std::function<void()> onOpenMainWindow, QObject* parent = nullptr);
    ~UserInterface() override;

    // Shows what launching shows: the tray always, the main window unless the
    // agent lives in the tray only, onboarding when it is required.
    void present(bool trayOnly);
    void bringMainWindowToFront();
    QWidget* mainWindow() const;

private:
    AppDependencies& m_dependencies;
    std::function<void()> m_onQuit;
    std::function<void()> m_onOpenMainWindow;
    QPointer<QWidget> m_mainWindow;
};
