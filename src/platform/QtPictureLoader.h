#pragma once

#include "platform/PictureLoader.h"

// Reads picture files with QImageReader (GIF, JPEG and whatever else Qt's plugins read).
class QtPictureLoader : public PictureLoader
{
public:
    QPixmap LoadPicture(const QString &path) override;
};
