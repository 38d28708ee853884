#pragma once

#include "AppDelegate.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

class AppDependencies;
class Clock;
class QNetworkAccessManager;
class QSettings;
class RaiseChannel;
class SignalPipe;
class UserInterface;

// The desktop application value: the launch sequence, the object graph, the
// delegate and the interface, kept for the life of the process.
class KestrelWorkerApp : public QObject {
    Q_OBJECT

public:
    explicit KestrelWorkerApp(QObject* parent = nullptr);
    ~KestrelWorkerApp() override;

    // Runs the launch sequence. Returns the exit status when the process should
    // end at once (a second instance, a failed start-up), none while it runs on.
    QCoro::Task<std::optional<int>> launch();

    // The operator asked to quit (application menu, tray, session end).
    void requestQuit();
    void bringMainWindowToFront();

private:
    void terminate();
    QCoro::Task<void> quitReportingJobsFailed();

    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<QNetworkAccessManager> m_updateNetwork;
    std::unique_ptr<QSettings> m_updatePreferences;
    std::unique_ptr<AppDependencies> m_dependencies;
    RaiseChannel* m_raise = nullptr;
    AppDelegate* m_delegate = nullptr;
    SignalPipe* m_signals = nullptr;
    std::unique_ptr<UserInterface> m_interface;
    bool m_quitting = false; // reporting the jobs in flight on the way out
    bool m_terminating = false;
};
