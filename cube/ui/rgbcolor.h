#pragma once

#include <QColor>
#include <QtGlobal>

namespace tessal::cube {

// The cube's colours are RGB longs as the old controls kept them: red in the low byte, then green,
// then blue (255 is red, 16777215 white).
QColor colorFromRgbLong(quint32 rgb);
quint32 rgbLongFromColor(const QColor &color);

} // namespace tessal::cube
