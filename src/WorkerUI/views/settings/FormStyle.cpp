#include "views/settings/FormStyle.h"

#include "common/Fonts.h"
#include "common/ToneColors.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QWidget>

namespace FormStyle {

QFont largeTitle() {
    return Fonts::scaled(2.0, QFont::Bold);
}

QFont title2() {
    return Fonts::scaled(1.55, QFont::DemiBold);
}

QFont body() {
    return QApplication::font();
}

QFont monospacedCaption() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(Fonts::caption().pointSizeF());
    return font;
}

void setTone(QWidget* widget, Tone tone) {
    QPalette palette = widget->palette();
    const QColor color = toneColor(tone, palette);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void makeSelectable(QLabel* label) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setCursor(Qt::IBeamCursor);
}

} // namespace FormStyle
