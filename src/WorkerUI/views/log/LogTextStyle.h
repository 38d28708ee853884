#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// How log lines are drawn, shared by the Log tab and the job log sheet.
namespace LogTextStyle {

// The fixed-pitch system font at caption size.
QFont font();
// The page behind the lines: the window colour darkened by 4 % black.
QColor background(const QPalette& palette);

} // namespace LogTextStyle
