#pragma once

#include "fileio/FileIoError.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

// Lets waiting events run; the window passes its message loop, tests may pass nothing.
using EventPump = std::function<void()>;

// The copy moves the range in slices of at most this size, so memory stays small whatever the
// range. Slices are also cut by time, each taking about 40 ms on the disk at hand, so that even
// on a slow disk a cancel stops the copy at once.
inline constexpr qint64 CopySliceBytes = 8 * 1024 * 1024;

// Kernel: in-kernel copy where the system offers it (a reflink on file systems that share
// extents), plain reads and writes where it refuses. Buffered: plain reads and writes only.
enum class CopyMethod { Kernel, Buffered };

// What the new file holds besides the range: `head` written before it, `patch` written over the
// range's own bytes from `patchAt` (0-based in the range; -1: none), and `tail` written after it.
// All are small beside the range (a tag with a cover at most).
struct RangeEdits
{
    QByteArray head;
    qint64 patchAt = -1;
    QByteArray patch;
    QByteArray tail;
};

// What the caller may hook into a copy, and how the new file differs from the range; every
// member may be left empty.
struct CopyOptions
{
    // Runs every 20 ms or so, on the caller's thread, while the copy and the sync to the disk
    // work on threads of their own.
    EventPump pumpEvents;
    // Told before each event pass how many of the range's bytes are written so far.
    std::function<void(qint64 written, qint64 total)> progress;
    // Asked after every event pass; true abandons the copy.
    std::function<bool()> cancelled;
    CopyMethod method = CopyMethod::Kernel;
    RangeEdits edits;
};

// A cancelled copy is not a failure: the target is as it was and no temporary file is left.
enum class CopyOutcome { Completed, Cancelled };

// Makes `target` hold exactly `count` bytes of `source` from 1-based `position`; a range that
// does not lie wholly inside the source is refused, so the new file never holds a byte the
// source does not have. The source is only read, and may be held open by the player meanwhile. An
// existing target is replaced only once the new content is safely on disk: after any failure or a
// cancel it is as it was. With edits, the target holds the head, then the range with the patch laid
// over it, then the tail.
CopyOutcome CopyByteRange(const QString &source, qint32 position, qint32 count,
                          const QString &target, const CopyOptions &options = {});

// Size of the file in bytes; throws when it cannot be read or does not fit 32 bits.
qint32 FileSize32(const QString &path);

// True when both paths name the same file: same text, or the same file reached another way
// (letter case, "..", links).
bool SameFile(const QString &a, const QString &b);
