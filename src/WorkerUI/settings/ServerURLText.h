#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The server URL field's rules, shared by onboarding and the Settings window.
// The text is taken exactly as typed: surrounding spaces make it unparsable.
class ServerURLText {
public:
    // The text as a URL, or none when it does not parse (strictly) at all.
    static std::optional<QUrl> parse(const QString& text);
    // It parses, its scheme is http or https (any case) and it names a host.
    static bool isValid(const QString& text);
    // The hint shown under an invalid field.
    static QString hint() { return QStringLiteral("Enter a full URL including https://"); }
};
