#pragma once

#include "health/Clock.h"

#include <QDateTime>
#include <chrono>
#include <optional>

// Judges whether the server can be reached from the outcomes of polling: a run
// of failures that began at least `threshold` ago means unreachable. Lives on
// the main thread, so its operations never interleave.
class ConnectionHealth {
public:
    using Clock = ::Clock;

    class State {
    public:
        enum class Kind { healthy, degraded, unreachable };

        static State healthy() { return State(Kind::healthy, {}); }
        static State degraded() { return State(Kind::degraded, {}); }
        static State unreachable(QDateTime since) { return State(Kind::unreachable, since); }

        Kind kind() const { return m_kind; }
        // The first failure of the run; only for unreachable.
        const std::optional<QDateTime>& since() const { return m_since; }

        bool operator==(const State& other) const = default;

    private:
        State(Kind kind, std::optional<QDateTime> since)
            : m_kind(kind)
            , m_since(std::move(since)) {}

        Kind m_kind;
        std::optional<QDateTime> m_since;
    };

    // Only the whole seconds of `threshold` count.
    ConnectionHealth(std::chrono::duration<double> threshold, const Clock& clock);

    ConnectionHealth(const ConnectionHealth&) = delete;
    ConnectionHealth& operator=(const ConnectionHealth&) = delete;

    void recordFailure();
    void recordSuccess();
    // Derived afresh on every read from the clock.
    State currentState() const;

private:
    std::chrono::duration<double> m_threshold;
    const Clock& m_clock;
    std::optional<QDateTime> m_firstFailureAt;
};
