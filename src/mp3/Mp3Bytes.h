#pragma once

#include <QByteArray>
#include <QtGlobal>

// Big-endian fields and the layout of the Xing and LAME tags, for the two writers of header
// frames: the one that rewrites a source's and the one that writes a piece's own.
namespace mp3 {

inline constexpr int TocSize = 100;
// Offsets inside the 36 bytes of a LAME tag, which follows the Xing fields; its CRC covers the
// frame up to the CRC itself.
inline constexpr int LameTagSize = 36;
inline constexpr int LameDelayPadding = 21;
inline constexpr int LameMusicLength = 28;
inline constexpr int LameMusicCrc = 32;
inline constexpr int LameTagCrc = 34;

inline quint32 getBE32(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + at);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
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
