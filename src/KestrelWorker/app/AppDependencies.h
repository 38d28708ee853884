#pragma once

#include "StartupOverrides.h"
#include "graph/EngineGraph.h"
#include "updates/UpdaterServicing.h"

#include <QCoroTask>
#include <QObject>
#include <functional>
#include <memory>

// The desktop process's object graph: the shared engine graph plus what only the
// desktop has (the update service, the onboarding flag). Built once at start and
// kept until the process ends.
class AppDependencies : public QObject {
    Q_OBJECT

public:
    // What the Settings and onboarding windows call to apply a new settings value.
    using SettingsApply = std::function<QCoro::Task<void>(Settings)>;

    // Throws the first start-up error met (StartupError or the failing part's own).
    static QCoro::Task<std::unique_ptr<AppDependencies>>
    bootstrap(std::unique_ptr<UpdaterServicing> updater, EngineGraph::Options options = {});

    ~AppDependencies() override;

    // The process-wide slot filled once start-up has finished; empty before.
    static AppDependencies* shared();
    static void setShared(AppDependencies* dependencies);

    const Settings& settings() const { return m_graph->settings; }
    UserDefaultsSettingsStore& settingsStore() { return m_graph->settingsStore(); }
    TokenStoring& tokenStore() { return m_graph->tokenStore(); }
    LogStore& logStore() { return m_graph->logStore(); }
    JobHistoryStore& history() { return m_graph->history(); }
    ActiveJobsBroadcaster& activeJobs() { return m_graph->activeJobs(); }
    JobCoordinator& coordinator() { return m_graph->coordinator(); }
    APIClient& api() { return m_graph->api(); }
    QNetworkAccessManager& network() { return m_graph->network(); }
    QSettings& preferences() { return m_graph->preferences(); }
    UpdaterServicing& updater() { return *m_updater; }
    const QString& logDirectory() const { return m_graph->logDirectory; }
    EngineGraph& graph() { return *m_graph; }

    bool requiresOnboarding() const { return m_requiresOnboarding; }
    void setRequiresOnboarding(bool required);

    // The token provider of the API client: the stored token, "" when none.
    QCoro::Task<QString> currentToken() { return m_graph->currentToken(); }

    // Saves, replaces `settings`, then hands the value to the engine. Holds this
    // object weakly: once it is gone the operation does nothing.
    SettingsApply commitSettings();

    // The environment switches: the onboarding flag, and the interface-only job.
    void applyOverrides(const StartupOverrides& overrides);

signals:
    void settingsChanged(const Settings& settings);
    void requiresOnboardingChanged(bool required);

private:
    AppDependencies(std::unique_ptr<EngineGraph> graph, std::unique_ptr<UpdaterServicing> updater);

    std::unique_ptr<EngineGraph> m_graph;
    std::unique_ptr<UpdaterServicing> m_updater;
    bool m_requiresOnboarding = false;
};
