#pragma once

#include <QListView>

// The Log tab's page of lines: unwrapped fixed-pitch rows on a slightly
// darker ground, 4 points clear above the first row and below the last, with
// the vertical scroll bar always shown. Nothing is selectable.
class LogListView : public QListView {
    Q_OBJECT

public:
    explicit LogListView(QWidget* parent = nullptr);

    // Scrolls, without animation, so that `row` sits at the bottom of the view.
    void scrollToRowAtBottom(int row);
};
