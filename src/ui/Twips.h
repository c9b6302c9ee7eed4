#pragma once

#include <QRect>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

// The window's geometry is designed in twips; the screen works in pixels at 96 dots per inch.
// Every conversion between the two goes through here.
namespace Twips {
inline constexpr float PerPixel = 15.0f;

inline int toPixels(float twips)
{
    return static_cast<int>(std::lround(twips / PerPixel));
}

inline float fromPixels(int pixels)
{
    return static_cast<float>(pixels) * PerPixel;
}

// Edges are rounded separately so that neighbours stay flush; a box narrower than a pixel still
// shows as one pixel (a one-twip selection must be seen).
inline QRect toPixelRect(float left, float top, float width, float height)
{
    const int x = toPixels(left);
    const int y = toPixels(top);
    const int w = std::max(toPixels(left + width) - x, width > 0 ? 1 : 0);
    const int h = std::max(toPixels(top + height) - y, height > 0 ? 1 : 0);
    return QRect(x, y, w, h);
}
} // namespace Twips
