#pragma once

#include <QString>

#include <stdexcept>

// A file could not be read or written; what() names the file, in words for the user.
class FileIoError : public std::runtime_error
{
public:
    explicit FileIoError(const QString &message);
};

// “/x/a.mp3” as the user would type it.
QString quotedPath(const QString &path);

// The start of a message about `path`; the caller adds the reason, or a full stop.
QString cannotRead(const QString &path);
QString cannotWrite(const QString &path);
