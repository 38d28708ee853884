#include "health/ConnectionHealth.h"

#include <cmath>

ConnectionHealth::ConnectionHealth(std::chrono::duration<double> threshold, const Clock& clock)
    : m_threshold(threshold)
    , m_clock(clock) {}

void ConnectionHealth::recordFailure() {
    // The first failure of an unbroken run stays the reference for the whole run.
    if (!m_firstFailureAt) {
        m_firstFailureAt = m_clock.currentDate();
    }
}

void ConnectionHealth::recordSuccess() {
    m_firstFailureAt.reset();
}

ConnectionHealth::State ConnectionHealth::currentState() const {
    if (!m_firstFailureAt) {
        return State::healthy();
    }
    const double elapsed = double(m_firstFailureAt->msecsTo(m_clock.currentDate())) / 1000.0;
    const double threshold = std::trunc(m_threshold.count());
    if (elapsed >= threshold) {
        return State::unreachable(*m_firstFailureAt);
    }
    return State::degraded();
}
