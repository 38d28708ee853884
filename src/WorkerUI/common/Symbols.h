#pragma once

#include <QIcon>
#include <QString>

// System symbols named as the interface names them ("film", "tray", ...), drawn
// from the desktop's icon theme, with a standard style icon when the theme has none.
namespace Symbols {

QIcon icon(const QString& symbolName);

} // namespace Symbols
