#include "cube/ui/rgbcolor.h"

namespace tessal::cube {

QColor colorFromRgbLong(quint32 rgb)
{
    return QColor(int(rgb & 0xffu), int((rgb >> 8) & 0xffu), int((rgb >> 16) & 0xffu));
}

quint32 rgbLongFromColor(const QColor &color)
{
    const QColor c = color.toRgb();
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

} // namespace tessal::cube
