#include "platform/QtPictureLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

QPixmap QtPictureLoader::LoadPicture(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw PictureError(QStringLiteral("找不到图片文件“%1”。").arg(path).toStdString());

    // A fresh reader every time: the button faces may be swapped while the program runs.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw PictureError(
            QStringLiteral("无法读取图片文件“%1”：文件已损坏或不是图片。").arg(path).toStdString());
    return QPixmap::fromImage(image);
}
