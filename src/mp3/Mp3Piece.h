#pragma once

#include "fileio/ByteRange.h"
#include "mp3/Mp3PieceHeader.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class Mp3Analysis;

// The file as a decoder that reads the LAME tag plays it (libmpg123 with gapless decoding,
// ffmpeg): the encoder's delay and padding and the decoder's own 529 samples trimmed. Timeline
// sample n is sample n + skip of the frames decoded as they stand; counts are per channel.
struct Mp3Timeline
{
    qint64 skip = 0;
    qint64 samples = 0;
};

Mp3Timeline gaplessTimeline(const Mp3Analysis &analysis);

// The audio frame that plays timeline sample `sample`, held to the first and the last frame;
// -1 for a file without frames.
qint64 frameOfSample(const Mp3Analysis &analysis, qint64 sample);

// A piece that plays exactly timeline samples [start, end): the source's bytes `first` to `last`
// (0-based, inclusive) with the edits, which begin the piece with a header frame of its own.
// Before the start sample it holds a few frames more, so that the first one heard has its
// reservoir data and the decoder's overlap; the header frame's LAME tag skips them. The bytes are
// audio frames only: the source's tags are the caller's to add.
struct Mp3PiecePlan
{
    qint64 first = 0;
    qint64 last = -1;
    RangeEdits edits;
    qint64 samples = 0; // end - start
};

// Empty where the file cannot be cut to the sample (not Layer III, free format, a refused file,
// marks outside the timeline or in the wrong order); the caller then cuts at frames.
std::optional<Mp3PiecePlan> planPiece(const Mp3Analysis &analysis, const ReadBytes &read,
                                      qint64 startSample, qint64 endSample);

// The same, reading the source file; throws FileIoError when it cannot be read.
std::optional<Mp3PiecePlan> planPiece(const Mp3Analysis &analysis, const QString &source,
                                      qint64 startSample, qint64 endSample);
