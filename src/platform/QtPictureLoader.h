#pragma once

#include "platform/PictureLoader.h"

// Reads picture files with QImageReader (GIF, JPEG and whatever else Qt's plugins read).
// On a screen scaled above 100 % it takes the picture drawn at twice the size that lies beside
// the file under Qt's "@2x" name, when that one fits; the picture keeps the logical size of the
// named file either way, so the layout stays as it is.
class QtPictureLoader : public PictureLoader
{
public:
    // For the screens at hand (the highest device pixel ratio when they differ).
    QPixmap LoadPicture(const QString &path) override;
    static QPixmap LoadPictureForRatio(const QString &path, qreal devicePixelRatio);
};
