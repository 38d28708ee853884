#include "views/log/LogTextStyle.h"

#include "common/Fonts.h"

#include <QFontDatabase>

namespace LogTextStyle {

QFont font() {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(Fonts::caption().pointSizeF());
    return mono;
}

QColor background(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    constexpr double kept = 0.96;
    return QColor::fromRgbF(static_cast<float>(window.redF() * kept),
                            static_cast<float>(window.greenF() * kept),
                            static_cast<float>(window.blueF() * kept));
}

} // namespace LogTextStyle
