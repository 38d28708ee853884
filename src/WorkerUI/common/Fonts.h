#pragma once

#include <QFont>

// The interface's type scale, relative to the application font.
namespace Fonts {

// The application font at `factor` times its size, with `weight`.
QFont scaled(double factor, QFont::Weight weight);

QFont title3Semibold(); // the status pill
QFont headline();       // card titles, the tray panel's status line
QFont caption();        // secondary lines
QFont caption2();       // the tray badge

} // namespace Fonts
