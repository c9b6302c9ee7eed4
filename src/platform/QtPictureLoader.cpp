#include "platform/QtPictureLoader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

namespace {

qreal screensRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

// A file on disk is older than another, to the second (file copies may round times to it).
bool olderThan(const QFileInfo &file, const QFileInfo &other)
{
    return file.lastModified().toSecsSinceEpoch() < other.lastModified().toSecsSinceEpoch();
}

// The picture at twice the size stands in only when it fits: exactly twice the size of the
// named one and, on disk, not older than it, so a face swapped in beside the program still
// shows. Compiled-in pictures are fixed at build time and need no such check.
QImage doubleSizePicture(const QFileInfo &single)
{
    const QFileInfo twice(doubleSizeName(single.filePath()));
    const bool compiledIn = single.filePath().startsWith(u':');
    if (!twice.isFile() || (!compiledIn && olderThan(twice, single)))
        return {};
    QImageReader singleReader(single.filePath());
    singleReader.setDecideFormatFromContent(true);
    const QSize singleSize = singleReader.size();
    QImageReader twiceReader(twice.filePath());
    twiceReader.setDecideFormatFromContent(true);
    QImage image = twiceReader.read();
    if (image.isNull() || !singleSize.isValid() || image.size() != singleSize * 2)
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
