#include "common/ToneColors.h"

QColor toneColor(Tone tone, const QPalette& palette) {
    switch (tone) {
    case Tone::primary:
        return palette.color(QPalette::WindowText);
    case Tone::secondary:
        return palette.color(QPalette::PlaceholderText);
    case Tone::green:
        return QColor(0x2e, 0x9d, 0x4a);
    case Tone::orange:
        return QColor(0xe0, 0x80, 0x10);
    case Tone::red:
        return QColor(0xd9, 0x30, 0x25);
    }
    return palette.color(QPalette::WindowText);
}
