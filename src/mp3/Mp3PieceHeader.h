#pragma once

#include "fileio/ByteRange.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

class Mp3Analysis;
class QFile;

// `length` bytes of the source from 0-based `offset`; fewer only where the source ends.
using ReadBytes = std::function<QByteArray(qint64 offset, qint64 length)>;

// Opens `file` for reading and reads it at any offset, for as long as `file` lives; throws
// FileIoError naming `path` where it cannot.
ReadBytes readerOf(QFile &file, const QString &path);

// What a piece of an MP3 file needs besides the source's bytes so that players read its own
// length, not the whole file's: the source's Xing/Info/VBRI frame rewritten with the piece's
// counts where the piece holds that frame but not all of the audio, or, for a piece from the
// middle of a variable-bit-rate stream, a Xing frame of its own written before it. Empty where
// the bytes alone are right (a constant-bit-rate file without a header frame, a whole file).
using PieceHeader = RangeEdits;

// `first` and `last` are the piece's 0-based first and last byte in the source; `headerFrame`
// holds the bytes of the source's header frame (empty when it has none). `read` gives the
// piece's audio for the LAME tag's music checksum; without it the checksum is left as it was.
PieceHeader pieceHeader(const Mp3Analysis &analysis, const QByteArray &headerFrame, qint64 first,
                        qint64 last, const ReadBytes &read = {});

// The same, reading the header frame from `source`; throws FileIoError when it cannot be read.
PieceHeader readPieceHeader(const Mp3Analysis &analysis, const QString &source, qint64 first,
                            qint64 last);

// CRC-16 as the LAME tag uses it (polynomial 0x8005, reflected, starting at 0); `crc` carries
// on from the bytes before.
quint16 lameCrc16(const char *data, qint64 size, quint16 crc = 0);

// The same over the source's bytes [from, to), read in large blocks; 0 where they cannot all be
// read.
quint16 lameCrc16(const ReadBytes &read, qint64 from, qint64 to, quint16 crc = 0);
