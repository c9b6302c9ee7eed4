#pragma once

#include <QFileInfo>
#include <QPixmap>
#include <QString>

#include <stdexcept>

// A picture file could not be loaded.
class PictureError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The name of the picture drawn at twice the size: "dir/按钮.gif" -> "dir/按钮@2x.gif".
inline QString doubleSizeName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    const qsizetype base = path.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1);
    return path.left(base) + QStringLiteral("@2x") + path.mid(base);
}

// Loads a picture file anew on every call; nothing is cached.
class PictureLoader
{
public:
    virtual ~PictureLoader() = default;
    // Throws PictureError when the file is missing or unreadable.
    virtual QPixmap LoadPicture(const QString &path) = 0;
};
