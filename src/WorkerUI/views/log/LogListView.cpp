#include "views/log/LogListView.h"

#include "views/log/LogLineDelegate.h"
#include "views/log/LogTextStyle.h"

LogListView::LogListView(QWidget* parent)
    : QListView(parent) {
    setItemDelegate(new LogLineDelegate(this));
    setFont(LogTextStyle::font());
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(0, 4, 0, 4);
    // The margins show the list's own ground: give it the page colour too.
    QPalette page = palette();
    const QColor ground = LogTextStyle::background(page);
    page.setColor(QPalette::Base, ground);
    page.setColor(QPalette::Window, ground);
    setPalette(page);
    setAutoFillBackground(true);
}

void LogListView::scrollToRowAtBottom(int row) {
    if (model() != nullptr && row >= 0 && row < model()->rowCount(rootIndex())) {
        scrollTo(model()->index(row, 0, rootIndex()), QAbstractItemView::PositionAtBottom);
    }
}
