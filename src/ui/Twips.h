#pragma once

#include <QtGlobal>

#include <cmath>

// The window's geometry is designed in twips; the screen works in pixels at 96 dots per inch.
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
} // namespace Twips
