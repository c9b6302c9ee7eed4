#pragma once

#include <QFont>

// The program's one font: a CJK face at 12 pixels, the size of a 9-point system font at 96 dpi
// for which the captions were placed on their buttons.
inline QFont defaultFont()
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    return font;
}
