#pragma once

#include <QRgb>
#include <vector>

namespace tessal {

struct BackdropBand
{
    int top = 0;
    int height = 0;
    QRgb colour = 0;

    friend bool operator==(const BackdropBand &, const BackdropBand &) = default;
};

struct BackdropStyle
{
    int red = 0;
    int green = 255;
    int blue = 255;
    int direction = 0; // -1 paints from the top down; anything else from the bottom up
    double step = 5.0;
};

// The 63 stepped bands of a window's backdrop. Heights and positions are plain ints, so a tall
// window is banded whole. The bands cover 63 times the rounded band height; what the rounding
// leaves over at the far edge is returned as a last band in the final colour, so no strip of
// the window is left unpainted.
std::vector<BackdropBand> backdropBands(int height, const BackdropStyle &style = {});

inline constexpr int kBackdropBandCount = 63;

} // namespace tessal
