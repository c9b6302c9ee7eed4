#pragma once

#include "mp3/Mp3PieceHeader.h"

#include <QByteArray>
#include <QtGlobal>

class Mp3Analysis;

// The source's tags as a piece carries them: its ID3v2 tags before the audio, each stating the
// piece's length where it states one, and its ID3v1 tag at the end. APE and Lyrics3 tags, and
// anything else outside the audio, stay behind.
struct PieceTags
{
    QByteArray front;
    QByteArray back;
};

// Read at save time, so that a large cover is not held in memory while the file is open. A file
// without audio frames gives none: its pieces are its bytes alone. `lengthMs` < 0: the length
// frame is dropped.
PieceTags pieceTags(const Mp3Analysis &analysis, const ReadBytes &read, qint64 lengthMs);

// One whole ID3v2 tag, header to footer, for a piece of `lengthMs`: every frame byte for byte,
// but for a length frame (TLEN) that states the piece's length. A tag that cannot be read safely
// comes back as it is where it holds no length frame, and empty otherwise, never corrupt.
QByteArray id3v2ForPiece(const QByteArray &tag, qint64 lengthMs);
