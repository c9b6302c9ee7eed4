#include "ui/SkinPicture.h"

#include "platform/PictureLoader.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

namespace {

QImage readPicture(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

} // namespace

QPixmap skinPicture(const QString &resourcePath)
{
    const QImage image = readPicture(resourcePath);
    if (image.isNull())
        return {};
    // The twins are drawn with the pictures at build time, so a twin of the right size is the
    // same picture.
    if (qGuiApp && qGuiApp->devicePixelRatio() > 1.0) {
        QImage twice = readPicture(doubleSizeName(resourcePath));
        if (twice.size() == image.size() * 2) {
            twice.setDevicePixelRatio(2.0);
            return QPixmap::fromImage(twice);
        }
    }
    return QPixmap::fromImage(image);
}
