#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <stdexcept>

// A file could not be read or written; what() names the file, in words for the user.
class FileIoError : public std::runtime_error
{
public:
    explicit FileIoError(const QString &message);
};

// Bytes of a file, index 0 first.
using ByteBuffer = QByteArray;
// Lets waiting events run once; the window passes its message loop, tests may pass nothing.
using EventPump = std::function<void()>;

// Reads `count` bytes from 1-based `position` (count -1: through the last byte). Bytes past the
// end of the file read as zero.
ByteBuffer ReadByteRange(QString path, qint32 position, qint32 count,
                         const EventPump &pumpEvents = {});

// Writes all of `bytes` at 1-based `position` (-1: after the current end). With replaceExisting
// the old content is replaced only once the new one is safely on disk.
void WriteBytes(QString path, const ByteBuffer &bytes, qint32 position, bool replaceExisting,
                const EventPump &pumpEvents = {});

// Size of the file in bytes; throws when it cannot be read or does not fit 32 bits.
qint32 FileSize32(const QString &path);

// True when both paths name the same file: same text, or the same file reached another way
// (letter case, "..", links).
bool SameFile(const QString &a, const QString &b);
