#pragma once

#include <QFont>
#include <QHash>
#include <QStyledItemDelegate>

// Draws one log line (or the lines of a multi-line message) unwrapped, 12
// points in from both sides with 2 points between rows. Sizes come from the
// font's metrics and are kept per line text: the list lays out every row
// again on each live event, and measuring 1000 lines each time would cost
// milliseconds.
class LogLineDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int horizontalPadding = 12;
    static constexpr int rowGap = 2;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // Well above the 1000 rows the tab holds; past it the cache starts over.
    static constexpr qsizetype maxCachedSizes = 4000;

    mutable QHash<QString, QSize> m_sizes;
    mutable QFont m_sizesFont;
};
