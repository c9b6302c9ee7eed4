#include "mp3/Mp3Scan.h"

#include "fileio/FileIoError.h"
#include "mp3/Mp3Bytes.h"
#include "mp3/Mp3Tables.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// Large reads keep the scan as fast as reading the file; the window holds at most one block.
constexpr qint64 BlockBytes = 1024 * 1024;
// A sync word is accepted only where this many valid frames follow each other, as decoders do,
// so that a stray 0xFFE in a picture or in garbage is not taken for audio.
constexpr int FramesToAccept = 4;
// More than the largest frame there is (free format at 640 kbit/s, the most decoders take, is
// 5760 bytes at 8 kHz); a free-format frame's size is measured up to this.
constexpr qint64 LargestFrame = 8 * 1024;

struct FrameHeader
{
    int version = 0; // 10, 20, 25
    int layer = 0;
    int bitrateIndex = 0;
    int sampleRate = 0;
    int channelMode = 0;
    int samplesPerFrame = 0;
    int padding = 0; // bytes
    bool crc = false;
    qint32 size = 0; // 0: free format, not known from the header alone
};

bool sameStream(const FrameHeader &a, const FrameHeader &b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

bool sameStream(const FrameHeader &a, const Mp3Format &b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The four header bytes of a frame; false for anything a decoder would not take as one.
bool parseHeader(const uchar *p, FrameHeader &out)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;

    FrameHeader h;
    h.version = mp3::versionFromBits(versionBits);
    h.layer = 4 - layerBits;
    h.bitrateIndex = bitrateIndex;
    h.sampleRate = mp3::sampleRate(h.version, rateIndex);
    h.channelMode = p[3] >> 6;
    h.crc = (p[1] & 1) == 0;
    const bool mpeg1 = h.version == 10;
    h.samplesPerFrame = mp3::samplesPerFrame(h.version, h.layer);
    const bool padded = (p[2] >> 1) & 1;
    h.padding = padded ? (h.layer == 1 ? 4 : 1) : 0;
    const int bitrate = mp3::BitrateKbps[mpeg1 ? 0 : 1][h.layer - 1][bitrateIndex] * 1000;
    if (bitrate > 0) {
        // Slot arithmetic of the standard: bytes per frame = samples / 8 × bit rate / rate.
        if (h.layer == 1)
            h.size = (12 * bitrate / h.sampleRate) * 4 + h.padding;
        else
            h.size = h.samplesPerFrame / 8 * bitrate / h.sampleRate + h.padding;
    }
    out = h;
    return true;
}

quint32 littleEndian32(const uchar *p)
{
    return (quint32(p[3]) << 24) | (quint32(p[2]) << 16) | (quint32(p[1]) << 8) | p[0];
}

// Reads the file forwards through one large window; a little may be asked for again behind the
// window's end (a frame that straddles two blocks), never far back.
class BlockReader
{
public:
    BlockReader(const QString &path, const std::atomic_bool *cancel)
        : m_file(path), m_cancel(cancel)
    {
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw FileIoError(cannotRead(path) + QStringLiteral("。"));
        m_size = m_file.size();
        // Not zeroed, and no larger than the file needs: a song's analysis is over in moments.
        m_capacity = std::min(BlockBytes, m_size) + LargestFrame * 2;
        m_buffer.reset(new uchar[static_cast<size_t>(m_capacity)]);
    }

    qint64 size() const { return m_size; }

    // At least `need` bytes from `pos`, or fewer where the file ends; `available` says how many.
    const uchar *at(qint64 pos, qint64 need, qint64 &available)
    {
        if (pos < m_start || pos + need > m_start + m_length)
            fill(pos, need);
        available = m_start + m_length - pos;
        return m_buffer.get() + (pos - m_start);
    }

    // A few bytes anywhere, for the tags at the file's end.
    QByteArray readAt(qint64 pos, qint64 length)
    {
        if (pos < 0 || length <= 0 || pos + length > m_size)
            return QByteArray();
        if (!m_file.seek(pos))
            fail();
        const QByteArray bytes = m_file.read(length);
        if (bytes.size() != length)
            fail();
        m_filePos = -1;
        return bytes;
    }

private:
    void fill(qint64 pos, qint64 need)
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw AnalysisCancelled();
        qint64 keep = 0;
        if (pos >= m_start && pos < m_start + m_length) {
            keep = m_start + m_length - pos;
            std::memmove(m_buffer.get(), m_buffer.get() + (pos - m_start),
                         static_cast<size_t>(keep));
        }
        m_start = pos;
        m_length = keep;
        const qint64 from = pos + keep;
        if (from >= m_size)
            return;
        if (m_filePos != from && !m_file.seek(from))
            fail();
        const qint64 room = m_capacity - keep;
        const qint64 want = std::min(room, std::max(BlockBytes, need - keep));
        const qint64 got = m_file.read(reinterpret_cast<char *>(m_buffer.get()) + keep, want);
        if (got < 0 || (got == 0 && from < m_size))
            fail();
        m_length += got;
        m_filePos = from + got;
    }

    [[noreturn]] void fail()
    {
        throw FileIoError(cannotRead(m_file.fileName()) + QStringLiteral("。"));
    }

    QFile m_file;
    const std::atomic_bool *m_cancel;
    qint64 m_size = 0;
    std::unique_ptr<uchar[]> m_buffer;
    qint64 m_capacity = 0;
    qint64 m_start = 0;
    qint64 m_length = 0;
    qint64 m_filePos = 0;
};

class Scanner
{
public:
    Scanner(const QString &path, const std::atomic_bool *cancel)
        : m_reader(path, cancel), m_path(path)
    {
    }

    Mp3Analysis run()
    {
        Mp3Analysis result;
        result.fileSize = m_reader.size();
        if (result.fileSize > std::numeric_limits<qint32>::max())
            throw FileIoError(QStringLiteral("文件太大，无法分析。"));
        m_limit = endOfAudio(result.fileSize);
        qint64 pos = skipLeadingTags();

        FrameHeader first;
        pos = findRun(pos, first);
        if (pos < 0)
            return result; // not an MP3 as far as anyone can tell: bytes stay proportional
        result.audioBegin = pos;
        result.format = {first.version, first.layer, first.sampleRate, first.channelMode,
                         first.samplesPerFrame};
        if (const auto header = headerFrameAt(pos, first)) {
            result.headerFrame = header;
            pos += header->size;
        }

        result.reserveFrames((m_limit - pos) / std::max<qint32>(first.size, 48) + 16);
        bool gap = false;
        int bitrateIndex = -1;
        bool oneBitrate = true;
        qint32 freeSize = -1;
        FrameHeader h;
        while (pos + 4 <= m_limit) {
            if (const bool valid = validAt(pos, h); !valid || !sameStream(h, result.format)) {
                // A run of another stream (another sample rate, most often: two recordings
                // joined) would need a timeline of its own; such a file is refused rather than
                // cut where its frames are not mapped.
                FrameHeader next;
                const qint64 found = findRun(valid ? pos : pos + 1, next);
                if (found < 0)
                    break;
                if (!sameStream(next, result.format)) {
                    // Another layer or version at the same rate has no rates to name.
                    const QString rates = next.sampleRate == result.format.sampleRate
                                              ? QString()
                                              : QStringLiteral("（%1 Hz 变为 %2 Hz）")
                                                    .arg(result.format.sampleRate)
                                                    .arg(next.sampleRate);
                    result.refusal = QStringLiteral("文件%1的音频格式中途改变%2，无法剪切。")
                                         .arg(quotedPath(m_path), rates);
                    break;
                }
                gap = true;
                pos = found;
                continue;
            }
            const auto size = static_cast<qint32>(std::min<qint64>(h.size, m_limit - pos));
            // A last frame cut short is kept in the map: ffmpeg plays its first part.
            result.appendFrame(pos, size);
            if (bitrateIndex < 0)
                bitrateIndex = h.bitrateIndex;
            else if (h.bitrateIndex != bitrateIndex)
                oneBitrate = false;
            if (h.bitrateIndex == 0) {
                const qint32 unpadded = h.size - h.padding;
                if (freeSize >= 0 && unpadded != freeSize)
                    oneBitrate = false;
                freeSize = unpadded;
            }
            pos += h.size;
        }
        result.audioEnd = result.frameCount() > 0 ? result.frameOffset(result.frameCount() - 1) +
                                                        result.frameSize(result.frameCount() - 1)
                                                  : pos;
        result.linear = result.audioBegin == 0 && !gap && oneBitrate;
        return result;
    }

private:
    // Where the audio ends: before ID3v1, APEv2, Lyrics3 and appended ID3v2 tags, in any order.
    qint64 endOfAudio(qint64 size)
    {
        qint64 limit = size;
        for (bool more = true; more && limit > 0;) {
            more = false;
            if (limit >= 128 && m_reader.readAt(limit - 128, 3) == "TAG") {
                limit -= 128;
                more = true;
                continue;
            }
            if (limit >= 32) {
                const QByteArray footer = m_reader.readAt(limit - 32, 32);
                if (footer.startsWith("APETAGEX")) {
                    const auto *p = reinterpret_cast<const uchar *>(footer.constData());
                    qint64 tag = littleEndian32(p + 12);
                    if (littleEndian32(p + 20) & 0x80000000u)
                        tag += 32;
                    if (tag >= 32 && tag <= limit) {
                        limit -= tag;
                        more = true;
                        continue;
                    }
                }
            }
            if (limit >= 15) {
                const QByteArray end = m_reader.readAt(limit - 15, 15);
                if (end.endsWith("LYRICS200")) {
                    bool ok = false;
                    const qint64 body = end.left(6).toLongLong(&ok);
                    if (ok && body + 15 <= limit &&
                        m_reader.readAt(limit - 15 - body, 11) == "LYRICSBEGIN") {
                        limit -= body + 15;
                        more = true;
                        continue;
                    }
                }
                if (end.endsWith("LYRICSEND")) {
                    // Version 1 has no size; its text is at most 5100 bytes.
                    const qint64 from = std::max<qint64>(0, limit - 9 - 5100 - 11);
                    const QByteArray text = m_reader.readAt(from, limit - from);
                    const qsizetype begin = text.lastIndexOf("LYRICSBEGIN");
                    if (begin >= 0) {
                        limit = from + begin;
                        more = true;
                        continue;
                    }
                }
            }
            if (limit >= 10) {
                const QByteArray footer = m_reader.readAt(limit - 10, 10);
                const qint64 body =
                    footer.startsWith("3DI")
                        ? mp3::syncSafe(reinterpret_cast<const uchar *>(footer.constData()) + 6)
                        : -1;
                if (body >= 0 && body + 20 <= limit) {
                    limit -= body + 20;
                    more = true;
                }
            }
        }
        return limit;
    }

    // Past the ID3v2 tags at the head, several in a row if so, each with its footer if any.
    qint64 skipLeadingTags()
    {
        qint64 pos = 0;
        for (;;) {
            qint64 available = 0;
            const uchar *p = m_reader.at(pos, 10, available);
            const qint64 size = available < 10 ? -1 : mp3::id3v2TagSize(p);
            if (size < 0)
                return pos;
            pos += size;
        }
    }

    // A frame header at `pos` whose size is known and that fits before the audio's end (the
    // last frame may be cut short by the end).
    bool validAt(qint64 pos, FrameHeader &h)
    {
        qint64 available = 0;
        const uchar *p = m_reader.at(pos, 4, available);
        if (available < 4 || !parseHeader(p, h))
            return false;
        if (h.size == 0) {
            if (m_freeSize < 0)
                m_freeSize = measureFreeFormat(pos, h);
            if (m_freeSize <= 0)
                return false;
            h.size = m_freeSize + h.padding;
        }
        return true;
    }

    // A free-format frame's size is the distance to the next header of the same stream.
    qint32 measureFreeFormat(qint64 pos, const FrameHeader &h)
    {
        qint64 available = 0;
        const uchar *p = m_reader.at(pos, LargestFrame + 4, available);
        for (qint64 i = 16; i + 4 <= available; ++i) {
            FrameHeader next;
            if (p[i] == 0xFF && parseHeader(p + i, next) && sameStream(next, h) &&
                next.bitrateIndex == 0)
                return static_cast<qint32>(i - h.padding);
        }
        return -1;
    }

    // The first offset from `from` where FramesToAccept valid frames of one stream follow each
    // other (or run exactly to the audio's end); -1 if none.
    qint64 findRun(qint64 from, FrameHeader &first)
    {
        for (qint64 pos = from; pos + 4 <= m_limit; ++pos) {
            qint64 available = 0;
            const uchar *p = m_reader.at(pos, 4, available);
            if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
                continue;
            const qint32 savedFree = m_freeSize;
            FrameHeader h;
            if (!validAt(pos, h)) {
                m_freeSize = savedFree;
                continue;
            }
            qint64 next = pos + h.size;
            int count = 1;
            FrameHeader later;
            while (count < FramesToAccept && next + 4 <= m_limit && validAt(next, later) &&
                   sameStream(later, h)) {
                next += later.size;
                ++count;
            }
            if (count >= FramesToAccept || next == m_limit) {
                first = h;
                return pos;
            }
            m_freeSize = savedFree;
        }
        return -1;
    }

    // A Xing/Info or VBRI frame: Layer III, its tag right after the side information (Xing) or
    // at a fixed place (VBRI). LAME puts the Xing tag there even in a CRC-protected stream,
    // without room for the checksum, and decoders look for it there.
    std::optional<Mp3HeaderFrame> headerFrameAt(qint64 pos, const FrameHeader &h)
    {
        if (h.layer != 3)
            return std::nullopt;
        const int xingAt = 4 + mp3::sideInfoSize(h.version, h.channelMode == 3);
        qint64 available = 0;
        const uchar *p = m_reader.at(pos, h.size, available);
        available = std::min<qint64>(available, h.size);
        Mp3HeaderFrame frame;
        frame.offset = pos;
        frame.size = h.size;
        if (available >= xingAt + 8 && std::memcmp(p + xingAt, "Xing", 4) == 0)
            frame.kind = Mp3HeaderFrame::Kind::Xing;
        else if (available >= xingAt + 8 && std::memcmp(p + xingAt, "Info", 4) == 0)
            frame.kind = Mp3HeaderFrame::Kind::Info;
        else if (available >= 40 && std::memcmp(p + 36, "VBRI", 4) == 0)
            frame.kind = Mp3HeaderFrame::Kind::Vbri;
        else
            return std::nullopt;
        if (frame.kind != Mp3HeaderFrame::Kind::Vbri)
            readLameDelay(p, available, xingAt, frame);
        return frame;
    }

    // The delay and padding of a LAME tag after the Xing fields. Decoders take them from tags
    // that name LAME or FFmpeg's libraries as their writer, so only those are read.
    static void readLameDelay(const uchar *p, qint64 available, int xingAt, Mp3HeaderFrame &frame)
    {
        const quint32 flags = mp3::getBE32(p + xingAt + 4);
        const qint64 lame = xingAt + 8 + mp3::xingFieldsSize(flags);
        if (lame + 24 > available)
            return;
        const uchar *tag = p + lame;
        if (std::memcmp(tag, "LAME", 4) != 0 && std::memcmp(tag, "Lavf", 4) != 0 &&
            std::memcmp(tag, "Lavc", 4) != 0)
            return;
        frame.encoderDelay = (tag[21] << 4) | (tag[22] >> 4);
        frame.encoderPadding = ((tag[22] & 0x0f) << 8) | tag[23];
    }

    BlockReader m_reader;
    QString m_path;
    qint64 m_limit = 0;
    qint32 m_freeSize = -1; // a free-format stream's frame size without padding, once measured
};

} // namespace

Mp3Analysis analyseMp3(const QString &path, const std::atomic_bool *cancel)
{
    Scanner scanner(path, cancel);
    return scanner.run();
}
