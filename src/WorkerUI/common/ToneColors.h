#pragma once

#include "now/Tone.h"

#include <QColor>
#include <QPalette>

// The palette colour of a tone.
QColor toneColor(Tone tone, const QPalette& palette);
