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
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

// The picture at twice the size stands in only when it fits: exactly twice the size of the
// named one and, on disk, the same picture, so a face swapped in beside the program still
// shows. Compiled-in pictures are fixed at build time and need no such check.
QImage doubleSizePicture(const QFileInfo &single)
{
    const QFileInfo twice(doubleSizeName(single.filePath()));
    if (!twice.isFile())
        return {};
    QImage image = readPicture(twice.filePath());
    const bool compiledIn = single.filePath().startsWith(u':');
    const QImage named = compiledIn ? QImage() : readPicture(single.filePath());
    QImageReader singleReader(single.filePath());
    singleReader.setDecideFormatFromContent(true);
    const QSize singleSize = compiledIn ? singleReader.size() : named.size();
    if (image.isNull() || !singleSize.isValid() || image.size() != singleSize * 2)
        return {};
    if (!compiledIn && !samePicture(named, image))
        return {};
    image.setDevicePixelRatio(2.0);
    return image;
}

} // namespace

QString doubleSizeName(const QString &path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const qsizetype base = path.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1);
    return path.left(base) + QStringLiteral("@2x") + path.mid(base);
}

QPixmap QtPictureLoader::LoadPicture(const QString &path)
{
    return LoadPictureForRatio(path, screensRatio());
}

QPixmap QtPictureLoader::LoadPictureForRatio(const QString &path, qreal devicePixelRatio)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw PictureError(QStringLiteral("找不到图片文件“%1”。").arg(path).toStdString());

    if (devicePixelRatio > 1.0) {
        const QImage sharp = doubleSizePicture(info);
        if (!sharp.isNull())
            return QPixmap::fromImage(sharp);
    }

    // A fresh reader every time: the button faces may be swapped while the program runs.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw PictureError(
            QStringLiteral("无法读取图片文件“%1”：文件已损坏或不是图片。").arg(path).toStdString());
    return QPixmap::fromImage(image);
}

QPixmap skinPicture(const QString &resourcePath)
{
    try {
        return QtPictureLoader::LoadPictureForRatio(resourcePath, screensRatio());
    } catch (const PictureError &) {
        return {};
    }
}
