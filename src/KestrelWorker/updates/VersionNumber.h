#pragma once

#include <QList>
#include <QString>
#include <compare>
#include <optional>

// A dotted numeric version ("1.10.2"). Missing trailing parts count as zero,
// so "1.2" and "1.2.0" are the same version.
class VersionNumber {
public:
    // None unless the text is digits separated by single dots.
    static std::optional<VersionNumber> parse(const QString& text);

    const QList<quint64>& parts() const { return m_parts; }
    QString toString() const;

    std::strong_ordering operator<=>(const VersionNumber& other) const;
    bool operator==(const VersionNumber& other) const { return (*this <=> other) == 0; }

private:
    explicit VersionNumber(QList<quint64> parts)
        : m_parts(std::move(parts)) {}

    QList<quint64> m_parts;
};
