#pragma once

#include <QDateTime>

// The source of wall-clock time for health and notifications, so tests can
// move time by hand.
class Clock {
public:
    virtual ~Clock() = default;
    // Current time, in UTC.
    virtual QDateTime currentDate() const = 0;
};
