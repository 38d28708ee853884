#pragma once

#include "now/NowTabViewModel.h"

#include <QIcon>
#include <QString>
#include <optional>

// The tray icon's state: idle, working (with the number of jobs as a badge) or
// errored, and its picture, drawn at run time.
class MenuBarStatusIcon {
public:
    class State {
    public:
        enum class Kind { idle, working, errored };

        static State idle(int badgeCount) { return State(Kind::idle, badgeCount); }
        static State working(int badgeCount) { return State(Kind::working, badgeCount); }
        static State errored() { return State(Kind::errored, 0); }

        Kind kind() const { return m_kind; }
        int badgeCount() const { return m_badgeCount; }
        QString symbolName() const;
        // The decimal count while working with at least one job; none otherwise.
        std::optional<QString> badgeText() const;

        bool operator==(const State&) const = default;

    private:
        State(Kind kind, int badgeCount)
            : m_kind(kind)
            , m_badgeCount(badgeCount) {}

        Kind m_kind;
        int m_badgeCount;
    };

    // Paused reads as idle: the same icon as a stopped worker.
    static State iconState(NowTabViewModel::PillKind pillKind, qsizetype activeJobs);

    // The glyph of the state with its badge, at the usual tray sizes.
    static QIcon render(const State& state);
};
