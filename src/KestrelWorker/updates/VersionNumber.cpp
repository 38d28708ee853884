#include "updates/VersionNumber.h"

#include <QStringList>

std::optional<VersionNumber> VersionNumber::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    QList<quint64> parts;
    for (const QString& part : trimmed.split(QLatin1Char('.'))) {
        if (part.isEmpty()) {
            return std::nullopt;
        }
        for (const QChar c : part) {
            // Only ASCII digits: toULongLong alone would accept "+1" and " 1".
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return std::nullopt;
            }
        }
        bool ok = false;
        const quint64 value = part.toULongLong(&ok);
        if (!ok) {
            return std::nullopt; // beyond 64 bits
        }
        parts.append(value);
    }
    return VersionNumber(std::move(parts));
}

QString VersionNumber::toString() const {
    QStringList texts;
    for (const quint64 part : m_parts) {
        texts.append(QString::number(part));
    }
    return texts.join(QLatin1Char('.'));
}

std::strong_ordering VersionNumber::operator<=>(const VersionNumber& other) const {
    const qsizetype count = qMax(m_parts.size(), other.m_parts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 mine = m_parts.value(i, 0);
        const quint64 theirs = other.m_parts.value(i, 0);
        if (mine != theirs) {
            return mine <=> theirs;
        }
    }
    return std::strong_ordering::equal;
}
