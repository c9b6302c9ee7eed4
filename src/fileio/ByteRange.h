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

// Lets waiting events run; the window passes its message loop, tests may pass nothing.
using EventPump = std::function<void()>;

// The copy moves the range in slices of at most this size and lets waiting events run after
// each one, so memory stays small and the window stays alive whatever the range.
inline constexpr qint64 CopySliceBytes = 8 * 1024 * 1024;

// Kernel: in-kernel copy where the system offers it (a reflink on file systems that share
// extents), plain reads and writes where it refuses. Buffered: plain reads and writes only.
enum class CopyMethod { Kernel, Buffered };

// What the new file holds besides the range: `head` written before it, and `patch` written over
// the range's own bytes from `patchAt` (0-based in the range; -1: none). Both are small.
struct RangeEdits
{
    QByteArray head;
    qint64 patchAt = -1;
    QByteArray patch;
};

// Makes `target` hold exactly `count` bytes of `source` from 1-based `position` (count -1:
// through the source's last byte); bytes past the source's end are written as zeros. The source
// is only read, and may be held open by the player meanwhile. An existing target is replaced
// only once the new content is safely on disk: after any failure it is as it was. With `edits`,
// the target holds the head, then the range with the patch laid over it.
void CopyByteRange(const QString &source, qint32 position, qint32 count, const QString &target,
                   const EventPump &pumpEvents = {}, CopyMethod method = CopyMethod::Kernel,
                   const RangeEdits &edits = {});

// Size of the file in bytes; throws when it cannot be read or does not fit 32 bits.
qint32 FileSize32(const QString &path);

// True when both paths name the same file: same text, or the same file reached another way
// (letter case, "..", links).
bool SameFile(const QString &a, const QString &b);
