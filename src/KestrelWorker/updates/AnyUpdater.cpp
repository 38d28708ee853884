#include "updates/AnyUpdater.h"

AnyUpdater::AnyUpdater(UpdaterServicing& wrapped, QObject* parent)
    : UpdaterServicing(parent)
    , m_wrapped(wrapped)
    , m_automaticChecks(wrapped.automaticChecksEnabled())
    , m_automaticDownloads(wrapped.automaticDownloadsEnabled()) {}

void AnyUpdater::setAutomaticChecksEnabled(bool enabled) {
    m_automaticChecks = enabled;
    Q_EMIT changed();
    m_wrapped.setAutomaticChecksEnabled(enabled);
}

void AnyUpdater::setAutomaticDownloadsEnabled(bool enabled) {
    m_automaticDownloads = enabled;
    Q_EMIT changed();
    m_wrapped.setAutomaticDownloadsEnabled(enabled);
}
