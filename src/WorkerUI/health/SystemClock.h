#pragma once

#include "health/Clock.h"

class SystemClock final : public Clock {
public:
    QDateTime currentDate() const override;
};
