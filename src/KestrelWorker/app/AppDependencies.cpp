#include "AppDependencies.h"

#include "updates/UpdaterServicing.h"

#include <QPointer>

namespace {
AppDependencies* sharedDependencies = nullptr;
}

AppDependencies::AppDependencies(std::unique_ptr<EngineGraph> graph,
                                 std::unique_ptr<UpdaterServicing> updater)
    : m_graph(std::move(graph))
    , m_updater(std::move(updater)) {}

AppDependencies::~AppDependencies() {
    if (sharedDependencies == this) {
        sharedDependencies = nullptr;
    }
}

QCoro::Task<std::unique_ptr<AppDependencies>>
AppDependencies::bootstrap(std::unique_ptr<UpdaterServicing> updater,
                           EngineGraph::Options options) {
    std::unique_ptr<EngineGraph> graph = co_await EngineGraph::bootstrap(std::move(options));
    const bool noToken = graph->initialToken.isEmpty();
    std::unique_ptr<AppDependencies> dependencies(
        new AppDependencies(std::move(graph), std::move(updater)));
    // Only the token decides; the server URL plays no part.
    dependencies->m_requiresOnboarding = noToken;
    co_return dependencies;
}

AppDependencies* AppDependencies::shared() {
    return sharedDependencies;
}

void AppDependencies::setShared(AppDependencies* dependencies) {
    sharedDependencies = dependencies;
}

void AppDependencies::setRequiresOnboarding(bool required) {
    if (m_requiresOnboarding == required) {
        return;
    }
    m_requiresOnboarding = required;
    emit requiresOnboardingChanged(required);
}

AppDependencies::SettingsApply AppDependencies::commitSettings() {
    QPointer<AppDependencies> weak(this);
    return [weak](Settings settings) -> QCoro::Task<void> {
        if (!weak) {
            co_return;
        }
        weak->settingsStore().save(settings);
        weak->m_graph->settings = settings;
        // A new server takes effect now: otherwise the first run's onboarding would
        // leave the worker polling the built-in default until a restart.
        weak->api().setBaseURL(settings.serverURL);
        emit weak->settingsChanged(settings);
        weak->coordinator().applySettings(settings);
    };
}

void AppDependencies::applyOverrides(const StartupOverrides& overrides) {
    setRequiresOnboarding(overrides.requiresOnboarding(m_requiresOnboarding));
    if (overrides.injectFakeActiveJob) {
        // Shown by the interface only: no runner, no record, nothing on the server.
        ActiveJob fake;
        fake.id = QStringLiteral("fake-uitest");
        fake.fileName = QStringLiteral("fake.mov");
        fake.jobType = JobRecord::JobType::prores;
        fake.state = JobRecord::State::encoding;
        fake.percent = 50;
        fake.startedAt = QDateTime::currentDateTimeUtc();
        activeJobs().upsert(fake);
    }
}
