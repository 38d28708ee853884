#pragma once

#include <QCoroTask>
#include <QString>

// Where the notification coordinator hands its notifications. Delivery is best
// effort: `post` never fails towards its caller.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual QCoro::Task<void> post(QString title, QString body) = 0;
};
