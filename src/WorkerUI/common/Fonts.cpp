#include "common/Fonts.h"

#include <QApplication>

namespace Fonts {

QFont scaled(double factor, QFont::Weight weight) {
    QFont font = QApplication::font();
    const double base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPointSizeF(base * factor);
    font.setWeight(weight);
    return font;
}

QFont title3Semibold() {
    return scaled(1.45, QFont::DemiBold);
}
QFont headline() {
    return scaled(1.0, QFont::Bold);
}
QFont caption() {
    return scaled(0.9, QFont::Normal);
}
QFont caption2() {
    return scaled(0.8, QFont::Normal);
}

} // namespace Fonts
