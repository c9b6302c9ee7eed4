#include "platform/QtPictureLoader.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

namespace {

qreal screensRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

// The twin shows the same picture as the named file: scaled down, it differs from it by no more
// than drawing at twice the size does (about 1 % on the button faces, where another face differs
// by over 20 %). File times cannot tell, since a copy may keep an old one.
bool samePicture(const QImage &single, const QImage &twice)
{
    const QImage a = single.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = twice.scaled(single.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 difference = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *rowA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rowB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            difference +=
                qAbs(qRed(rowA[x]) - qRed(rowB[x])) + qAbs(qGreen(rowA[x]) - qGreen(rowB[x])) +
                qAbs(qBlue(rowA[x]) - qBlue(rowB[x])) + qAbs(qAlpha(rowA[x]) - qAlpha(rowB[x]));
        }
    }
    const qint64 channels = qint64(a.width()) * a.height() * 4;
    return difference * 100 <= channels * 255 * 4; // at most 4 % on average
}

QImage readPicture(const QString &path)
{
    // A fresh reader every time: the button faces may be swapped while the program runs.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

// The picture at twice the size stands in only when it fits: exactly twice the size of the
// named one and the same picture, so a face swapped in beside the program still shows.
QImage doubleSizePicture(const QString &path, const QImage &named)
{
    const QString twicePath = doubleSizeName(path);
    if (!QFileInfo(twicePath).isFile())
        return {};
    QImage twice = readPicture(twicePath);
    if (twice.size() != named.size() * 2 || !samePicture(named, twice))
        return {};
    twice.setDevicePixelRatio(2.0);
    return twice;
}

} // namespace

QPixmap QtPictureLoader::LoadPicture(const QString &path)
{
    return LoadPictureForRatio(path, screensRatio());
}

QPixmap QtPictureLoader::LoadPictureForRatio(const QString &path, qreal devicePixelRatio)
{
    if (!QFileInfo(path).isFile())
        throw PictureError(QStringLiteral("找不到图片文件“%1”。").arg(path).toStdString());
    const QImage image = readPicture(path);
    if (image.isNull())
        throw PictureError(
            QStringLiteral("无法读取图片文件“%1”：文件已损坏或不是图片。").arg(path).toStdString());
    if (devicePixelRatio > 1.0) {
        const QImage sharp = doubleSizePicture(path, image);
        if (!sharp.isNull())
            return QPixmap::fromImage(sharp);
    }
    return QPixmap::fromImage(image);
}
