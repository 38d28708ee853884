#pragma once

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <algorithm>
#include <functional>
#include <memory>

namespace logtest {

inline QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

// Whole file as text; a missing file reads as a null string.
inline QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// A clock that hands out the given instants in turn, then keeps the last one.
inline std::function<QDateTime()> sequenceClock(QList<QDateTime> instants) {
    auto index = std::make_shared<qsizetype>(0);
    return [instants, index] {
        const QDateTime now = instants.at(std::min(*index, instants.size() - 1));
        ++*index;
        return now;
    };
}

} // namespace logtest
