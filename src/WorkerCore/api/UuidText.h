#pragma once

#include <QString>
#include <QUuid>

// The wire and preference form of a UUID: 36 characters, hyphenated,
// upper-case hexadecimal, no braces.
inline QString uuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}
