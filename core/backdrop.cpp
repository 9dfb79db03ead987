#include "core/backdrop.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace tessal {

namespace {

// Assigning a fractional value to an integer rounds half to even, as the original arithmetic did.
int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

int darker(int component, double step)
{
    return std::max(0, roundHalfEven(component - step));
}

} // namespace

std::vector<BackdropBand> backdropBands(int height, const BackdropStyle &style)
{
    std::vector<BackdropBand> bands;
    if (height <= 0)
        return bands;
    const int bandHeight = roundHalfEven(static_cast<double>(height) / kBackdropBandCount);
    const bool downward = style.direction == -1;
    int red = style.red;
    int green = style.green;
    int blue = style.blue;
    int top = downward ? 0 : height - bandHeight;
    bands.reserve(kBackdropBandCount + 1);
    for (int i = 0; i < kBackdropBandCount; ++i) {
        bands.push_back({top, bandHeight, qRgb(red, green, blue)});
        red = darker(red, style.step);
        green = darker(green, style.step);
        blue = darker(blue, style.step);
        top = downward ? top + bandHeight : top - bandHeight;
    }
    const int covered = bandHeight * kBackdropBandCount;
    if (covered < height) {
        const QRgb last = bands.back().colour;
        const int rest = height - covered;
        bands.push_back({downward ? covered : 0, rest, last});
    }
    return bands;
}

} // namespace tessal
