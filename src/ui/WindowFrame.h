#pragma once

#include <QMargins>

// The frame the design gives a window, in pixels, until the window system tells the real one:
// 4-pixel borders and a 30-pixel caption bar, the 120 x 510 twips between the main window's
// outer and inner sizes.
inline constexpr QMargins DesignedFrame(4, 30, 4, 4);
