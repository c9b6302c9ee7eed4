#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

// Big-endian fields and the layout of the Xing and LAME tags, for the two writers of header
// frames: the one that rewrites a source's and the one that writes a piece's own; and the sizes
// of ID3v2 tags, for the scan that passes them and the copy that carries them into a piece.
namespace mp3 {

// 28 bits in four bytes of seven; -1 where a byte has its top bit set.
inline qint64 syncSafe(const uchar *p)
{
    if ((p[0] | p[1] | p[2] | p[3]) & 0x80)
        return -1;
    return (qint64(p[0]) << 21) | (qint64(p[1]) << 14) | (qint64(p[2]) << 7) | p[3];
}

// The whole size, footer included, of the ID3v2 tag whose 10-byte header `p` is; -1 where it
// is none.
inline qint64 id3v2TagSize(const uchar *p)
{
    if (std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF)
        return -1;
    const qint64 body = syncSafe(p + 6);
    // Only version 2.4 has a footer; in 2.2 and 2.3 the flag bit means something else.
    return body < 0 ? -1 : 10 + body + ((p[3] == 4 && (p[5] & 0x10)) ? 10 : 0);
}

inline constexpr int TocSize = 100;
// The Xing/Info tag's flags: which of its fields follow them.
inline constexpr quint32 XingFrames = 1, XingBytes = 2, XingToc = 4, XingQuality = 8;
inline constexpr quint32 XingAllFields = XingFrames | XingBytes | XingToc | XingQuality;
// Bytes of the fields that follow the flags, as they announce them; a LAME tag comes next.
constexpr int xingFieldsSize(quint32 flags)
{
    return ((flags & XingFrames) ? 4 : 0) + ((flags & XingBytes) ? 4 : 0) +
           ((flags & XingToc) ? TocSize : 0) + ((flags & XingQuality) ? 4 : 0);
}
// Offsets inside the 36 bytes of a LAME tag, which follows the Xing fields; its CRC covers the
// frame up to the CRC itself.
inline constexpr int LameTagSize = 36;
inline constexpr int LameDelayPadding = 21;
inline constexpr int LameMusicLength = 28;
inline constexpr int LameMusicCrc = 32;
inline constexpr int LameTagCrc = 34;

inline quint32 getBE32(const uchar *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

inline quint32 getBE32(const QByteArray &bytes, qsizetype at)
{
    return getBE32(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

inline quint16 getBE16(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + at);
    return quint16((p[0] << 8) | p[1]);
}

inline void putBE32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xff);
}

inline void putBE16(QByteArray &bytes, qsizetype at, quint16 value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value & 0xff);
}

} // namespace mp3
