#pragma once

#include <QPointF>
#include <QSizeF>

// Where a window's outer top-left goes when it opens: centred across the screen and a third of
// the spare height down. Single-precision twips in and out, as the windows were designed;
// negative on a screen smaller than the window, and used so.
inline QPointF placeOnScreen(QSizeF screenTwips, QSizeF outerTwips)
{
    const float left =
        (static_cast<float>(screenTwips.width()) - static_cast<float>(outerTwips.width())) / 2.0f;
    const float top =
        (static_cast<float>(screenTwips.height()) - static_cast<float>(outerTwips.height())) / 3.0f;
    return {left, top};
}
