#include "platform/QtPictureLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

namespace {

// The faces the program ships, each compiled in with its twin drawn at twice the size.
const char *const CompiledInFaces[] = {":/face.gif", ":/face-pressed.gif"};

qreal screensRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    return reader.read();
}

// A file that is byte for byte one of the shipped faces shows that face's compiled-in twin; any
// other picture, a face the user drew or recoloured, is shown as it is.
QImage compiledInTwin(const QByteArray &bytes, const QImage &named)
{
    for (const char *face : CompiledInFaces) {
        const QString path = QString::fromLatin1(face);
        if (fileBytes(path) != bytes)
            continue;
        QImage twice(doubleSizeName(path));
        if (twice.size() != named.size() * 2)
            return {};
        twice.setDevicePixelRatio(2.0);
        return twice;
    }
    return {};
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
    // Read once, fresh every time: the button faces may be swapped while the program runs.
    const QByteArray bytes = fileBytes(path);
    const QImage image = decode(bytes);
    if (image.isNull())
        throw PictureError(
            QStringLiteral("无法读取图片文件“%1”：文件已损坏或不是图片。").arg(path).toStdString());
    if (devicePixelRatio > 1.0) {
        const QImage sharp = compiledInTwin(bytes, image);
        if (!sharp.isNull())
            return QPixmap::fromImage(sharp);
    }
    return QPixmap::fromImage(image);
}
