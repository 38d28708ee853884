#pragma once

#include "updates/VersionNumber.h"

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <optional>

// An RSS 2.0 update feed: one <item> per release, each with a version and an
// <enclosure url="..."> to download. The version is the text of the item's
// <version> element (any namespace) or, failing that, a "version" attribute of
// the enclosure (any namespace, as in sparkle:version).
class UpdateFeed {
public:
    struct Item {
        VersionNumber version;
        QUrl downloadURL;
    };

    // Items without a usable version or an http(s) download link are left out.
    // Throws UpdateFeedError for anything that is not such a feed, and for a
    // feed whose items are all unusable. Relative links resolve against
    // `feedURL`.
    static UpdateFeed parse(const QByteArray& xml, const QUrl& feedURL);

    const QList<Item>& items() const { return m_items; }
    // The item with the highest version; none for a feed without items.
    std::optional<Item> newest() const;

private:
    QList<Item> m_items;
};
