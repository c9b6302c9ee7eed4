#include "mp3/Mp3Piece.h"

#include "fileio/FileIoError.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3Bytes.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Tables.h"

#include <QFile>

#include <algorithm>
#include <map>

namespace {

// Every Layer III decoder's output lags its input by this many samples.
constexpr qint64 kGranule = 576;
// The LAME tag's delay and padding fields have 12 bits each.
constexpr qint64 kMaxDelay = 4095;
// "Xing"/"Info", flags, frames, bytes, table of contents, quality.
constexpr int kXingSize = 8 + mp3::xingFieldsSize(mp3::XingAllFields);

struct FrameBits
{
    int bitrateIndex = 0;
    uchar lastHeaderByte = 0; // channel mode, copyright, original, emphasis
    bool crc = false;
    int mainDataBegin = 0; // bytes of earlier frames' main data this frame starts with
    qint64 mainData = 0;   // bytes of main data this frame carries
};

// What the planner needs of the source's frames, read a few header bytes at a time.
class SourceFrames
{
public:
    SourceFrames(const Mp3Analysis &analysis, const ReadBytes &read)
        : m_analysis(analysis), m_read(read)
    {
    }

    // The main data the frames before `index` end with, `length` bytes of it at most: what a
    // decoder holds in its reservoir when it reaches that frame.
    QByteArray mainDataBefore(qint64 index, qint64 length)
    {
        QByteArray tail;
        for (qint64 f = index - 1; f >= 0 && tail.size() < length; --f) {
            const FrameBits &bits = (*this)[f];
            if (bits.mainData <= 0)
                continue;
            const qint64 at = m_analysis.frameOffset(f) + m_analysis.frameSize(f) - bits.mainData;
            tail.prepend(m_read(at, bits.mainData));
        }
        return tail.right(length);
    }

    const FrameBits &operator[](qint64 index)
    {
        const auto known = m_bits.find(index);
        if (known != m_bits.end())
            return known->second;
        FrameBits &bits = m_bits[index];
        const Mp3Format &format = m_analysis.format;
        const QByteArray head = m_read(m_analysis.frameOffset(index), 8);
        if (head.size() < 8)
            return bits;
        const auto *p = reinterpret_cast<const uchar *>(head.constData());
        const int side = 4 + ((p[1] & 1) ? 0 : 2);
        bits.bitrateIndex = p[2] >> 4;
        bits.lastHeaderByte = p[3];
        bits.crc = side == 6;
        bits.mainDataBegin = format.version == 10 ? (p[side] << 1) | (p[side + 1] >> 7) : p[side];
        bits.mainData = m_analysis.frameSize(index) - side -
                        mp3::sideInfoSize(format.version, format.channelMode == 3);
        return bits;
    }

private:
    const Mp3Analysis &m_analysis;
    const ReadBytes &m_read;
    std::map<qint64, FrameBits> m_bits;
};

// The frame checksum of MPEG audio: CRC-16, polynomial 0x8005, most significant bit first.
quint16 mpegCrc16(uchar byte, quint16 crc)
{
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = ((crc >> 15) ^ (byte >> bit)) & 1;
        crc = quint16(crc << 1);
        if (top)
            crc ^= 0x8005;
    }
    return crc;
}

int frameBytes(const Mp3Format &format, int bitrateIndex)
{
    return mp3::layer3FrameBytes(format.version, format.sampleRate, bitrateIndex);
}

// A frame of the stream's version, rate and channel mode with all-zero side information but for
// `mainDataBegin`: no audio bits, so a decoder plays it as silence, whatever its main data holds.
// `mainData` goes at its end.
QByteArray silentFrame(const Mp3Format &format, int rateIndex, int bitrateIndex,
                       uchar lastHeaderByte, bool crc = false, int mainDataBegin = 0,
                       const QByteArray &mainData = {})
{
    QByteArray frame(frameBytes(format, bitrateIndex), '\0');
    frame[0] = char(0xff);
    frame[1] = char(0xe0 | (mp3::versionBits(format.version) << 3) | (1 << 1) | (crc ? 0 : 1));
    frame[2] = char((bitrateIndex << 4) | (rateIndex << 2));
    // As the stream's frames say it, joint-stereo bands aside: ffmpeg takes a frame whose flags
    // differ from the next ones' for stray bytes.
    frame[3] = char(lastHeaderByte & 0xcf);
    const int side = 4 + (crc ? 2 : 0);
    if (format.version == 10) {
        frame[side] = char(mainDataBegin >> 1);
        frame[side + 1] = char((mainDataBegin & 1) << 7);
    } else {
        frame[side] = char(mainDataBegin);
    }
    frame.replace(frame.size() - mainData.size(), mainData.size(), mainData);
    if (crc) {
        quint16 sum = 0xffff;
        for (int i : {2, 3})
            sum = mpegCrc16(uchar(frame[i]), sum);
        const int sideInfo = mp3::sideInfoSize(format.version, format.channelMode == 3);
        for (int i = 6; i < 6 + sideInfo; ++i)
            sum = mpegCrc16(uchar(frame[i]), sum);
        frame[4] = char(sum >> 8);
        frame[5] = char(sum & 0xff);
    }
    return frame;
}

// The source's LAME tag, to keep what it says of the encoding (version, settings, gain).
QByteArray sourceLameTag(const Mp3Analysis &analysis, const ReadBytes &read, quint32 &quality)
{
    const auto &held = analysis.headerFrame;
    if (!held || held->encoderDelay < 0)
        return {};
    const QByteArray frame = read(held->offset, held->size);
    const int tag =
        4 + mp3::sideInfoSize(analysis.format.version, analysis.format.channelMode == 3);
    if (frame.size() < tag + 8)
        return {};
    const quint32 flags = mp3::getBE32(frame, tag + 4);
    const qsizetype at = tag + 8 + mp3::xingFieldsSize(flags & ~mp3::XingQuality);
    if ((flags & mp3::XingQuality) && at + 4 <= frame.size())
        quality = mp3::getBE32(frame, at);
    const qsizetype lame = tag + 8 + mp3::xingFieldsSize(flags);
    return lame + mp3::LameTagSize <= frame.size() ? frame.mid(lame, mp3::LameTagSize)
                                                   : QByteArray();
}

} // namespace

Mp3Timeline gaplessTimeline(const Mp3Analysis &analysis)
{
    Mp3Timeline timeline;
    const qint64 total = analysis.frameCount() * analysis.format.samplesPerFrame;
    qint64 end = total;
    if (analysis.headerFrame && analysis.headerFrame->encoderDelay >= 0) {
        timeline.skip = analysis.headerFrame->encoderDelay + mp3::DecoderDelay;
        end = std::min(total, total - analysis.headerFrame->encoderPadding + mp3::DecoderDelay);
    }
    timeline.samples = std::max<qint64>(0, end - timeline.skip);
    return timeline;
}

qint64 frameOfSample(const Mp3Analysis &analysis, qint64 sample)
{
    if (analysis.frameCount() == 0 || analysis.format.samplesPerFrame <= 0)
        return -1;
    const qint64 raw = std::max<qint64>(0, sample) + gaplessTimeline(analysis).skip;
    return std::min(analysis.frameCount() - 1, raw / analysis.format.samplesPerFrame);
}

std::optional<Mp3PiecePlan> planPiece(const Mp3Analysis &analysis, const ReadBytes &read,
                                      qint64 startSample, qint64 endSample)
{
    const Mp3Format &format = analysis.format;
    const qint64 count = analysis.frameCount();
    const Mp3Timeline timeline = gaplessTimeline(analysis);
    if (count == 0 || format.layer != 3 || !analysis.refusal.isEmpty() || startSample < 0 ||
        endSample > timeline.samples || startSample >= endSample)
        return std::nullopt;
    if (startSample == 0 && endSample == timeline.samples)
        return Mp3PiecePlan{analysis.audioBegin, analysis.audioEnd - 1, {}, timeline.samples};
    const int rateIndex = mp3::rateIndexOf(format.version, format.sampleRate);
    if (rateIndex == 3)
        return std::nullopt;

    SourceFrames frames(analysis, read);
    const qint64 spf = format.samplesPerFrame;
    const qint64 firstKept = startSample + timeline.skip; // in the frames as they stand
    const qint64 endKept = endSample + timeline.skip;
    // A sample is decoded right when its granule and the two before it are: the overlap comes
    // from one granule back, the synthesis filter's memory from the next.
    const qint64 first = std::max<qint64>(0, firstKept / kGranule - 2) / (spf / kGranule);
    if (frames[first].bitrateIndex == 0)
        return std::nullopt; // free format: no header frame of a fitting size can be made

    // Those frames also need the main data they reach back for, which lies in frames before
    // them; the piece begins its audio with silent frames (no audio bits) that carry the last
    // bytes of it, as much as a frame may reach back. A decoder keeps at most 512 bytes of a
    // frame's unread main data, so each is the largest frame that carries no more; where one
    // is not enough, a second takes the rest from the first. mpg123 starts afresh where the
    // checksum flag changes, so they have the stream's.
    const bool crc = frames[first].crc;
    const int side = mp3::sideInfoSize(format.version, format.channelMode == 3);
    const int slotStart = 4 + (crc ? 2 : 0) + side;
    int reservoirIndex = 1;
    while (reservoirIndex < 14 && frameBytes(format, reservoirIndex + 1) - slotStart <= 512)
        ++reservoirIndex;
    const int slot = frameBytes(format, reservoirIndex) - slotStart;
    const int deepest = format.version == 10 ? 511 : 255;
    const QByteArray reservoir = frames.mainDataBefore(first, deepest);
    const uchar headerByte = frames[first].lastHeaderByte;
    const int silentFrames = slot < deepest ? 2 : 1;
    QByteArray quiet = silentFrame(format, rateIndex, reservoirIndex, headerByte, crc,
                                   silentFrames == 2 ? deepest - slot : 0, reservoir.right(slot));
    if (silentFrames == 2) // the second reaches back into the first for what it lacks
        quiet.prepend(silentFrame(format, rateIndex, reservoirIndex, headerByte, crc, 0,
                                  reservoir.left(std::max<qint64>(0, reservoir.size() - slot))));
    // The silent frames also let a file without a LAME tag, which plays from its very first
    // sample, be cut there: decoders skip at least their own 529.
    const qint64 delay = firstKept - first * spf - mp3::DecoderDelay + silentFrames * spf;
    if (delay > kMaxDelay)
        return std::nullopt; // cannot happen with the frames chosen above; the field is small
    const qint64 last = (endKept - 1) / spf;
    const qint64 padding = (last + 1) * spf - endKept + mp3::DecoderDelay;

    Mp3PiecePlan plan;
    plan.first = analysis.frameOffset(first);
    const qint64 audioEnd = analysis.frameOffset(last) + analysis.frameSize(last);
    plan.last = audioEnd - 1;
    plan.samples = endSample - startSample;

    // The header frame: Info where every frame has one size (give or take the padding slot),
    // Xing otherwise; in the first frame's bit rate where that fits, as a CBR stream's should.
    const int needBytes = 4 + side + kXingSize + mp3::LameTagSize;
    qint32 smallest = analysis.frameSize(first);
    qint32 largest = smallest;
    for (qint64 f = first; f <= last && largest - smallest <= 1; ++f) {
        smallest = std::min(smallest, analysis.frameSize(f));
        largest = std::max(largest, analysis.frameSize(f));
    }
    const bool variable = largest - smallest > 1;
    int bitrateIndex = frames[first].bitrateIndex;
    if (variable || frameBytes(format, bitrateIndex) < needBytes) {
        bitrateIndex = mp3::lowestBitrateHolding(format.version, format.sampleRate, needBytes);
        if (bitrateIndex == 15)
            return std::nullopt;
    }
    QByteArray header = silentFrame(format, rateIndex, bitrateIndex, headerByte);
    const qint64 headBytes = header.size() + quiet.size();
    const qint64 bytes = headBytes + audioEnd - plan.first;
    const qint64 pieceFrames = last - first + 1 + silentFrames;

    const int tag = 4 + side;
    header.replace(tag, 4, variable ? "Xing" : "Info");
    mp3::putBE32(header, tag + 4, mp3::XingAllFields);
    mp3::putBE32(header, tag + 8, quint32(pieceFrames));
    mp3::putBE32(header, tag + 12, quint32(bytes));
    // For each percent of the playing time, where that moment's frame begins, in 256ths.
    for (int i = 0; i < mp3::TocSize; ++i) {
        const qint64 k = pieceFrames * i / mp3::TocSize - silentFrames;
        const qint64 at = k < 0 ? header.size() + (k + silentFrames) * quiet.size() / silentFrames
                                : headBytes + analysis.frameOffset(first + k) - plan.first;
        header[tag + 16 + i] = char(std::min<qint64>(255, at * 256 / bytes));
    }
    quint32 quality = 0;
    QByteArray lameTag = sourceLameTag(analysis, read, quality);
    if (lameTag.isEmpty()) {
        // Decoders take the delay only from a tag that names its writer as they know it.
        lameTag = QByteArray("LAME3.100") + QByteArray(mp3::LameTagSize - 9, '\0');
        lameTag[9] = char(variable ? 0 : 1); // revision 0; CBR or unknown
    }
    mp3::putBE32(header, tag + 16 + mp3::TocSize, quality);
    const int lame = tag + kXingSize;
    header.replace(lame, mp3::LameTagSize, lameTag);
    header[lame + mp3::LameDelayPadding] = char(delay >> 4);
    header[lame + mp3::LameDelayPadding + 1] = char(((delay & 0x0f) << 4) | (padding >> 8));
    header[lame + mp3::LameDelayPadding + 2] = char(padding & 0xff);
    mp3::putBE32(header, lame + mp3::LameMusicLength, quint32(bytes));
    const quint16 musicCrc =
        lameCrc16(read, plan.first, audioEnd, lameCrc16(quiet.constData(), quiet.size()));
    mp3::putBE16(header, lame + mp3::LameMusicCrc, musicCrc);
    mp3::putBE16(header, lame + mp3::LameTagCrc,
                 lameCrc16(header.constData(), lame + mp3::LameTagCrc));

    plan.edits.head = header + quiet;
    return plan;
}

std::optional<Mp3PiecePlan> planPiece(const Mp3Analysis &analysis, const QString &source,
                                      qint64 startSample, qint64 endSample)
{
    QFile file(source);
    const ReadBytes read = readerOf(file, source);
    return planPiece(analysis, read, startSample, endSample);
}
