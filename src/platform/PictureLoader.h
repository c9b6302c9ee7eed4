#pragma once

#include <QPixmap>
#include <QString>

#include <stdexcept>

// A picture file could not be loaded.
class PictureError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Loads a picture file anew on every call; nothing is cached.
class PictureLoader
{
public:
    virtual ~PictureLoader() = default;
    // Throws PictureError when the file is missing or unreadable.
    virtual QPixmap LoadPicture(const QString &path) = 0;
};
