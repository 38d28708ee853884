#include "updates/UpdateFeed.h"

#include "updates/UpdateFeedError.h"

#include <QXmlStreamReader>

namespace {

struct RawItem {
    QString elementVersion;
    QString enclosureVersion;
    QString enclosureURL;
};

RawItem readItem(QXmlStreamReader& xml) {
    RawItem item;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("version") && item.elementVersion.isEmpty()) {
            item.elementVersion = xml.readElementText();
        } else if (xml.name() == QLatin1String("enclosure") && xml.namespaceUri().isEmpty()) {
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (attribute.name() == QLatin1String("url") &&
                    attribute.namespaceUri().isEmpty()) {
                    item.enclosureURL = attribute.value().toString();
                } else if (attribute.name() == QLatin1String("version")) {
                    item.enclosureVersion = attribute.value().toString();
                }
            }
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    return item;
}

} // namespace

UpdateFeed UpdateFeed::parse(const QByteArray& bytes, const QUrl& feedURL) {
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement()) {
        throw UpdateFeedError(xml.hasError() ? xml.errorString()
                                             : QStringLiteral("the document is empty"));
    }
    if (xml.name() != QLatin1String("rss")) {
        throw UpdateFeedError(QStringLiteral("the document is not an RSS feed"));
    }

    QList<RawItem> raw;
    bool sawChannel = false;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("channel")) {
            xml.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("item") && xml.namespaceUri().isEmpty()) {
                raw.append(readItem(xml));
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // Read to the end so a truncated or broken document is not half-trusted.
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
    }
    if (xml.hasError()) {
        throw UpdateFeedError(
            QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
    }
    if (!sawChannel) {
        throw UpdateFeedError(QStringLiteral("the feed has no channel"));
    }

    UpdateFeed feed;
    for (const RawItem& item : raw) {
        const QString versionText =
            item.elementVersion.trimmed().isEmpty() ? item.enclosureVersion : item.elementVersion;
        const std::optional<VersionNumber> version = VersionNumber::parse(versionText);
        const QUrl link = feedURL.resolved(QUrl(item.enclosureURL.trimmed()));
        // Only web links: the address is offered to the operator to open.
        const bool webLink =
            link.isValid() && !link.host().isEmpty() &&
            (link.scheme() == QLatin1String("https") || link.scheme() == QLatin1String("http"));
        if (version && webLink && !item.enclosureURL.trimmed().isEmpty()) {
            feed.m_items.append(Item{*version, link});
        }
    }
    if (!raw.isEmpty() && feed.m_items.isEmpty()) {
        throw UpdateFeedError(QStringLiteral("no item has a version and a download link"));
    }
    return feed;
}

std::optional<UpdateFeed::Item> UpdateFeed::newest() const {
    std::optional<Item> best;
    for (const Item& item : m_items) {
        if (!best || item.version > best->version) {
            best = item;
        }
    }
    return best;
}
