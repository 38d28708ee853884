#include "settings/ServerURLText.h"

std::optional<QUrl> ServerURLText::parse(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) {
        return std::nullopt;
    }
    return url;
}

bool ServerURLText::isValid(const QString& text) {
    const std::optional<QUrl> url = parse(text);
    if (!url) {
        return false;
    }
    const QString scheme = url->scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url->host().isEmpty();
}
