#pragma once

#include "logging/LogEvent.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <functional>

// What a reader of the log needs: the held events and the later ones as they come.
// Subscribe first, then take the snapshot, and drop events already seen (by id).
class LogObserving {
public:
    virtual ~LogObserving() = default;

    // Oldest first.
    virtual QList<LogEvent> snapshot() const = 0;
    // Every event logged after the call, in logging order, until `context` is destroyed
    // or the connection is broken. Nothing from the past is replayed.
    virtual QMetaObject::Connection subscribe(QObject* context,
                                              std::function<void(const LogEvent&)> receiver) = 0;
};
