#pragma once

#include <QMetaType>
#include <QString>

// What the engine shows the operator: running (with the number of jobs in
// flight), error (with the recorded poll error), stopped or paused.
struct EngineStatus {
    enum class Kind { running, error, stopped, paused };

    Kind kind = Kind::stopped;
    int active = 0;    // running only
    QString errorText; // error only

    static EngineStatus running(int active) { return {Kind::running, active, {}}; }
    static EngineStatus error(QString text) { return {Kind::error, 0, std::move(text)}; }
    static EngineStatus stopped() { return {Kind::stopped, 0, {}}; }
    static EngineStatus paused() { return {Kind::paused, 0, {}}; }

    bool operator==(const EngineStatus&) const = default;
};

Q_DECLARE_METATYPE(EngineStatus)
