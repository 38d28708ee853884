#pragma once

class QVBoxLayout;
class QWidget;

// The column every onboarding step shares: leading-aligned, 12 points between
// items, 28 points of padding, held in the middle of the space it is given.
namespace StepLayout {

QVBoxLayout* install(QWidget* step);
// Closes the column: the space below the last item.
void finish(QVBoxLayout* column);

} // namespace StepLayout
