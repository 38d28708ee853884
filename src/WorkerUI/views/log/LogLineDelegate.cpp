#include "views/log/LogLineDelegate.h"

#include <QPainter>
#include <algorithm>

void LogLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QVariant foreground = index.data(Qt::ForegroundRole);
    const QColor color = foreground.canConvert<QColor>() ? foreground.value<QColor>()
                                                         : option.palette.color(QPalette::Text);
    const QRect area = option.rect.adjusted(horizontalPadding, rowGap / 2, -horizontalPadding,
                                            -(rowGap - rowGap / 2));
    painter->save();
    painter->setFont(option.font);
    painter->setPen(color);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize LogLineDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    if (option.font != m_sizesFont || m_sizes.size() >= maxCachedSizes) {
        m_sizes.clear();
        m_sizesFont = option.font;
    }
    if (const auto cached = m_sizes.constFind(text); cached != m_sizes.constEnd()) {
        return *cached;
    }
    const QFontMetrics& metrics = option.fontMetrics;
    int width = 0;
    int lines = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        width = std::max(width, metrics.horizontalAdvance(line));
        ++lines;
    }
    const QSize size(width + 2 * horizontalPadding, lines * metrics.lineSpacing() + rowGap);
    m_sizes.insert(text, size);
    return size;
}
