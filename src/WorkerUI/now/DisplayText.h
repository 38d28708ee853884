#pragma once

#include <QString>

namespace displayText {

// "encoding" -> "Encoding": the raw enumeration texts as the interface shows them.
inline QString capitalised(const QString& text) {
    if (text.isEmpty()) {
        return text;
    }
    return text.left(1).toUpper() + text.mid(1);
}

} // namespace displayText
