#include "health/SystemClock.h"

QDateTime SystemClock::currentDate() const {
    return QDateTime::currentDateTimeUtc();
}
