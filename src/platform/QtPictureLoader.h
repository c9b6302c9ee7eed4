#pragma once

#include "platform/PictureLoader.h"

// Reads picture files with QImageReader (GIF, JPEG and whatever else Qt's plugins read).
// On a screen scaled above 100 % a file that is byte for byte one of the program's own button
// faces shows the face's compiled-in twin drawn at twice the size; the picture keeps the logical
// size of the file either way, so the layout stays as it is.
class QtPictureLoader : public PictureLoader
{
public:
    // For the screens at hand (the highest device pixel ratio when they differ).
    QPixmap LoadPicture(const QString &path) override;
    static QPixmap LoadPictureForRatio(const QString &path, qreal devicePixelRatio);
};
