#pragma once

#include <QString>

class QFormLayout;
class QHBoxLayout;
class QVBoxLayout;
class QWidget;

// The grouped form every Settings tab is: titled sections of labelled rows in a
// column with the standard padding, at least 480 by 360 points.
namespace SettingsForm {

constexpr int minimumWidth = 480;
constexpr int minimumHeight = 360;

QVBoxLayout* install(QWidget* pane);
// A titled section at the end of the column; its rows go into the returned form.
QFormLayout* addSection(QVBoxLayout* column, const QString& title);
// A row that holds `widget` at its natural width, at the leading edge.
QHBoxLayout* leading(QWidget* widget);
// A value label that takes the width the row offers (paths, URLs).
void expandValue(QWidget* value);

} // namespace SettingsForm
