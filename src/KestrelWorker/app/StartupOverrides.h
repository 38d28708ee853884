#pragma once

#include <QProcessEnvironment>

// The three start-up switches automated interface tests set in the environment.
// A switch counts only when its value is exactly "1".
struct StartupOverrides {
    bool forceOnboarding = false;
    bool forceNoOnboarding = false;
    bool injectFakeActiveJob = false;

    static StartupOverrides fromEnvironment(const QProcessEnvironment& environment);

    // The onboarding flag after the switches: forcing it on wins over forcing it off.
    bool requiresOnboarding(bool fromToken) const;
};
