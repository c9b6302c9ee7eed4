#include "mp3/Mp3PieceHeader.h"

#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3ByteMap.h"
#include "mp3/Mp3Bytes.h"
#include "mp3/Mp3Tables.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <limits>

namespace {

qint64 frameEnd(const Mp3Analysis &analysis, qint64 index)
{
    return analysis.frameOffset(index) + analysis.frameSize(index);
}

// Frame sizes that differ by more than a padding slot mean more than one bit rate.
bool variableBitRate(const Mp3Analysis &analysis)
{
    const int slot = analysis.format.layer == 1 ? 4 : 1;
    qint32 smallest = std::numeric_limits<qint32>::max();
    qint32 largest = 0;
    for (qint64 i = 0; i < analysis.frameCount(); ++i) {
        smallest = std::min(smallest, analysis.frameSize(i));
        largest = std::max(largest, analysis.frameSize(i));
        if (largest - smallest > slot)
            return true;
    }
    return false;
}

// The Xing table of contents: for each percent of the playing time, where that moment's frame
// begins, as a 256th of `bytes` counted from `streamStart`.
std::array<uchar, mp3::TocSize> tableOfContents(const Mp3Analysis &analysis,
                                                const PieceFrames &frames, qint64 streamStart,
                                                qint64 bytes)
{
    std::array<uchar, mp3::TocSize> toc{};
    for (int i = 0; i < mp3::TocSize; ++i) {
        const qint64 frame = frames.first + frames.count() * i / mp3::TocSize;
        const qint64 at = analysis.frameOffset(frame) - streamStart;
        toc[static_cast<size_t>(i)] = uchar(std::min<qint64>(255, at * 256 / bytes));
    }
    return toc;
}

qsizetype findTag(const QByteArray &frame, const char *tag)
{
    // The tag follows the side information, whose size depends on the version and the channels.
    const qsizetype at = frame.left(64).indexOf(tag);
    return at >= 4 ? at : -1;
}

// Rewrites a Xing/Info frame for a piece from the stream's beginning that lacks its end.
bool patchXing(QByteArray &frame, qsizetype tag, const Mp3Analysis &analysis,
               const PieceFrames &frames, qint64 streamStart, bool keepsLastFrame,
               const ReadBytes &read)
{
    if (tag + 8 > frame.size())
        return false;
    const quint32 flags = mp3::getBE32(frame, tag + 4);
    qsizetype at = tag + 8;
    const qsizetype fieldsEnd = at + mp3::xingFieldsSize(flags);
    // Without a frame count the frame cannot state a length; it then says nothing wrong either.
    if (!(flags & mp3::XingFrames) || fieldsEnd > frame.size())
        return false;
    const qsizetype lame = fieldsEnd;
    const bool hasLameTag = lame + mp3::LameTagSize <= frame.size() &&
                            lameCrc16(frame.constData(), lame + mp3::LameTagCrc) ==
                                mp3::getBE16(frame, lame + mp3::LameTagCrc);

    const qint64 bytes = frameEnd(analysis, frames.last) - streamStart;
    mp3::putBE32(frame, at, quint32(frames.count()));
    at += 4;
    if (flags & mp3::XingBytes) {
        mp3::putBE32(frame, at, quint32(bytes));
        at += 4;
    }
    if (flags & mp3::XingToc) {
        const auto toc = tableOfContents(analysis, frames, streamStart, bytes);
        std::copy(toc.begin(), toc.end(), frame.begin() + at);
    }
    if (hasLameTag) {
        mp3::putBE32(frame, lame + mp3::LameMusicLength, quint32(bytes));
        // The encoder's padding sits in the stream's last frame; a piece that ends earlier has
        // none, and a player would otherwise cut real sound off its end. The delay stays.
        if (!keepsLastFrame) {
            const qsizetype p = lame + mp3::LameDelayPadding;
            frame[p + 1] = char(frame[p + 1] & 0xf0);
            frame[p + 2] = 0;
        }
        if (read)
            mp3::putBE16(
                frame, lame + mp3::LameMusicCrc,
                lameCrc16(read, streamStart + frame.size(), frameEnd(analysis, frames.last)));
        mp3::putBE16(frame, lame + mp3::LameTagCrc,
                     lameCrc16(frame.constData(), lame + mp3::LameTagCrc));
    }
    return true;
}

// Rewrites a VBRI frame: its counts, and its table cut to the entries wholly inside the piece
// (those entries are the source's own, since the piece begins where the stream does).
bool patchVbri(QByteArray &frame, qsizetype tag, const Mp3Analysis &analysis,
               const PieceFrames &frames, qint64 streamStart)
{
    if (tag + 26 > frame.size())
        return false;
    mp3::putBE32(frame, tag + 10, quint32(frameEnd(analysis, frames.last) - streamStart));
    mp3::putBE32(frame, tag + 14, quint32(frames.count()));
    const quint16 framesPerEntry = mp3::getBE16(frame, tag + 24);
    if (framesPerEntry > 0) {
        const qint64 whole = frames.count() / framesPerEntry;
        mp3::putBE16(frame, tag + 18,
                     quint16(std::min<qint64>(mp3::getBE16(frame, tag + 18), whole)));
    }
    return true;
}

// A silent Layer III frame that carries a Xing header for the piece that follows it, in the
// stream's own version, sample rate and channel mode. Its LAME tag states no delay, so that
// decoders agree on where the piece starts (without one, ffmpeg and mpg123 differ by 529
// samples), and the source's padding only where the piece keeps the last frame.
QByteArray newXingFrame(const Mp3Analysis &analysis, const PieceFrames &frames, bool keepsLastFrame,
                        const ReadBytes &read)
{
    const Mp3Format &format = analysis.format;
    const bool mono = format.channelMode == 3;
    const int rateIndex = mp3::rateIndexOf(format.version, format.sampleRate);
    if (format.layer != 3 || rateIndex == 3)
        return {};
    const int sideInfo = mp3::sideInfoSize(format.version, mono);
    const int tag = 4 + sideInfo;
    const int needed = tag + 20 + mp3::TocSize + mp3::LameTagSize;
    const int bitrateIndex = mp3::lowestBitrateHolding(format.version, format.sampleRate, needed);
    if (bitrateIndex == 15)
        return {};
    const int size = mp3::layer3FrameBytes(format.version, format.sampleRate, bitrateIndex);

    QByteArray frame(size, '\0');
    frame[0] = char(0xff);
    frame[1] =
        char(0xe0 | (mp3::versionBits(format.version) << 3) | (1 << 1) | 1); // Layer III, no CRC
    frame[2] = char((bitrateIndex << 4) | (rateIndex << 2));
    frame[3] = char((format.channelMode & 3) << 6);
    // All-zero side information: no audio bits, so the frame plays as silence.
    frame.replace(tag, 4, "Xing");
    mp3::putBE32(frame, tag + 4, mp3::XingAllFields);
    const qint64 streamStart = analysis.frameOffset(frames.first) - size;
    const qint64 bytes = frameEnd(analysis, frames.last) - streamStart;
    mp3::putBE32(frame, tag + 8, quint32(frames.count()));
    mp3::putBE32(frame, tag + 12, quint32(bytes));
    const auto toc = tableOfContents(analysis, frames, streamStart, bytes);
    std::copy(toc.begin(), toc.end(), frame.begin() + tag + 16);
    const int lame = tag + 20 + mp3::TocSize;
    frame.replace(lame, 9, "LAME3.100"); // decoders take the delay from a tag that names LAME
    const auto &held = analysis.headerFrame;
    const int padding = keepsLastFrame && held ? std::max(0, held->encoderPadding) : 0;
    frame[lame + mp3::LameDelayPadding + 1] = char(padding >> 8);
    frame[lame + mp3::LameDelayPadding + 2] = char(padding & 0xff);
    mp3::putBE32(frame, lame + mp3::LameMusicLength, quint32(bytes));
    if (read)
        mp3::putBE16(frame, lame + mp3::LameMusicCrc,
                     lameCrc16(read, streamStart + size, frameEnd(analysis, frames.last)));
    mp3::putBE16(frame, lame + mp3::LameTagCrc,
                 lameCrc16(frame.constData(), lame + mp3::LameTagCrc));
    return frame;
}

} // namespace

quint16 lameCrc16(const char *data, qint64 size, quint16 crc)
{
    // Eight bytes a step through eight tables: the music checksum of a long piece takes about as
    // long as reading it. Table k gives a byte's share after k more bytes.
    static const auto tables = [] {
        std::array<std::array<quint16, 256>, 8> t{};
        for (int byte = 0; byte < 256; ++byte) {
            auto value = quint16(byte);
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? quint16((value >> 1) ^ 0xa001) : quint16(value >> 1);
            t[0][size_t(byte)] = value;
        }
        for (size_t k = 1; k < 8; ++k)
            for (size_t byte = 0; byte < 256; ++byte)
                t[k][byte] = quint16((t[k - 1][byte] >> 8) ^ t[0][t[k - 1][byte] & 0xff]);
        return t;
    }();
    const auto *p = reinterpret_cast<const uchar *>(data);
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        const quint16 x = crc ^ quint16(p[i] | (p[i + 1] << 8));
        crc = quint16(tables[7][x & 0xff] ^ tables[6][x >> 8] ^ tables[5][p[i + 2]] ^
                      tables[4][p[i + 3]] ^ tables[3][p[i + 4]] ^ tables[2][p[i + 5]] ^
                      tables[1][p[i + 6]] ^ tables[0][p[i + 7]]);
    }
    for (; i < size; ++i)
        crc = quint16((crc >> 8) ^ tables[0][(crc ^ p[i]) & 0xff]);
    return crc;
}

quint16 lameCrc16(const ReadBytes &read, qint64 from, qint64 to, quint16 crc)
{
    constexpr qint64 block = 1024 * 1024;
    for (qint64 at = from; at < to; at += block) {
        const QByteArray bytes = read(at, std::min(block, to - at));
        if (bytes.size() != std::min(block, to - at))
            return 0;
        crc = lameCrc16(bytes.constData(), bytes.size(), crc);
    }
    return crc;
}

PieceHeader pieceHeader(const Mp3Analysis &analysis, const QByteArray &headerFrame, qint64 first,
                        qint64 last, const ReadBytes &read)
{
    PieceHeader header;
    const PieceFrames frames = framesWithin(analysis, first, last);
    if (frames.count() <= 0)
        return header;
    const bool keepsLastFrame = frames.last == analysis.frameCount() - 1;

    const auto &held = analysis.headerFrame;
    if (held && first <= held->offset && held->offset + held->size - 1 <= last) {
        if (frames.first == 0 && keepsLastFrame)
            return header;
        if (headerFrame.size() != held->size)
            return header;
        QByteArray frame = headerFrame;
        bool patched = false;
        if (held->kind == Mp3HeaderFrame::Kind::Vbri) {
            const qsizetype tag = findTag(frame, "VBRI");
            patched = tag >= 0 && patchVbri(frame, tag, analysis, frames, held->offset);
        } else {
            qsizetype tag = findTag(frame, "Xing");
            if (tag < 0)
                tag = findTag(frame, "Info");
            patched = tag >= 0 &&
                      patchXing(frame, tag, analysis, frames, held->offset, keepsLastFrame, read);
        }
        if (patched) {
            header.patchAt = held->offset - first;
            header.patch = frame;
        }
        return header;
    }

    // A piece that begins inside the tags before the audio keeps them first, as they must be.
    if (first >= analysis.audioBegin && variableBitRate(analysis))
        header.head = newXingFrame(analysis, frames, keepsLastFrame, read);
    return header;
}

ReadBytes readerOf(QFile &file, const QString &path)
{
    if (!file.open(QIODevice::ReadOnly))
        throw FileIoError(cannotRead(path) + QStringLiteral("：") + file.errorString());
    return [&file, path](qint64 offset, qint64 length) {
        QByteArray bytes;
        if (file.seek(offset))
            bytes = file.read(length);
        if (bytes.size() < length && file.error() != QFileDevice::NoError)
            throw FileIoError(cannotRead(path) + QStringLiteral("：") + file.errorString());
        return bytes;
    };
}

PieceHeader readPieceHeader(const Mp3Analysis &analysis, const QString &source, qint64 first,
                            qint64 last)
{
    QFile file(source);
    const ReadBytes read = readerOf(file, source);
    QByteArray bytes;
    if (const auto &held = analysis.headerFrame)
        bytes = read(held->offset, held->size);
    return pieceHeader(analysis, bytes, first, last, read);
}
