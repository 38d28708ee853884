#pragma once

#include "now/Tone.h"

#include <QFont>

class QLabel;
class QWidget;

// Type and colour of the onboarding and Settings forms, on top of the shared scale.
namespace FormStyle {

QFont largeTitle();        // a step's heading
QFont title2();            // a field's heading
QFont body();              // running text
QFont monospacedCaption(); // identifiers, tokens, paths

// Paints a widget's text in the tone's colour.
void setTone(QWidget* widget, Tone tone);

// A label whose text the operator can select and copy but not edit.
void makeSelectable(QLabel* label);

} // namespace FormStyle
