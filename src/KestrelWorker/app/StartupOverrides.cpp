#include "StartupOverrides.h"

StartupOverrides StartupOverrides::fromEnvironment(const QProcessEnvironment& environment) {
    const auto isOn = [&](const char* name) {
        return environment.value(QLatin1String(name)) == QLatin1String("1");
    };
    StartupOverrides overrides;
    overrides.forceOnboarding = isOn("KWR_FORCE_ONBOARDING");
    overrides.forceNoOnboarding = isOn("KWR_FORCE_NO_ONBOARDING");
    overrides.injectFakeActiveJob = isOn("KWR_INJECT_FAKE_ACTIVE_JOB");
    return overrides;
}

bool StartupOverrides::requiresOnboarding(bool fromToken) const {
    if (forceOnboarding) {
        return true;
    }
    if (forceNoOnboarding) {
        return false;
    }
    return fromToken;
}
