#pragma once

#include "mp3/Mp3Analysis.h"

#include <QtGlobal>

// Times to bytes through the file's own frames, for files whose bytes are not in proportion to
// playing time. Positions are 1-based, as the cut state counts them.

// The first byte of the frame that plays at `seconds`; 0 s is the file's first byte, so a piece
// from the beginning keeps the tags before the audio. A time past the audio gives the position
// after the file's last byte.
qint64 firstByteAt(const Mp3Analysis &analysis, double seconds);

// The last byte of the frame that plays at `seconds`; a time past the audio gives the last
// audio frame's last byte.
qint64 lastByteAt(const Mp3Analysis &analysis, double seconds);

// The audio frames that lie whole inside the piece, which is what its header frame counts: of a
// frame cut in two, mpg123 plays nothing and ffmpeg its first part.
struct PieceFrames
{
    qint64 first = 0;
    qint64 last = -1;
    qint64 count() const { return last - first + 1; }
};

PieceFrames framesWithin(const Mp3Analysis &analysis, qint64 first, qint64 last);

// The samples a gapless decoder plays of a piece cut at frames, the source's bytes `first` to
// `last` (0-based, inclusive) with its header frame rewritten: the frames wholly inside, less the
// encoder's delay where the piece holds the stream's beginning and its padding where it holds
// the end.
qint64 samplesWithin(const Mp3Analysis &analysis, qint64 first, qint64 last);
