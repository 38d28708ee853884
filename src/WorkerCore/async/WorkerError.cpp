#include "async/WorkerError.h"

QString describeError(const std::exception& error) {
    if (const auto* worker = dynamic_cast<const WorkerError*>(&error)) {
        return worker->description();
    }
    return QString::fromUtf8(error.what());
}

QString describeCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        return describeError(error);
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}
