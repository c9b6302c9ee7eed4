#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// The stream's format, as its first audio frame states it.
struct Mp3Format
{
    int version = 0;         // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;           // 1, 2 or 3
    int sampleRate = 0;      // Hz
    int channelMode = 0;     // the header's two bits: 0 stereo, 1 joint, 2 dual channel, 3 mono
    int samplesPerFrame = 0; // 384, 576 or 1152
};

// A Xing/Info or VBRI frame at the head of the stream: it describes the stream and holds no
// audio.
struct Mp3HeaderFrame
{
    enum class Kind { Xing, Info, Vbri };
    Kind kind = Kind::Xing;
    qint64 offset = 0; // 0-based byte offset in the file
    qint32 size = 0;   // bytes
    // The LAME tag's encoder delay and end padding in samples; -1 where the frame has no such
    // tag. Decoders that play gaplessly skip the delay (and their own 529 samples) and the padding.
    int encoderDelay = -1;
    int encoderPadding = -1;
};

// Where the audio frames of an MP3 file lie and when each of them plays. Made once per opened
// file; byte offsets are 0-based.
class Mp3Analysis
{
public:
    // Bytes are proportional to playing time (nothing before the first frame, one bit rate
    // throughout): the track bar's byte formulas hold as they are.
    bool linear = true;
    qint64 fileSize = 0;
    qint64 audioBegin = 0; // first byte of the first frame (the header frame, if any)
    qint64 audioEnd = 0;   // one past the last byte of the last audio frame
    Mp3Format format;
    std::optional<Mp3HeaderFrame> headerFrame;
    // Why the file cannot be cut by its frames, for the user; empty when it can. The map then
    // holds only the frames before the reason.
    QString refusal;

    // Audio frames only, in file order; the header frame is not one of them. Offsets must
    // increase; a frame runs to the next frame's offset or, for the last, `size` bytes.
    void appendFrame(qint64 offset, qint32 size);
    void reserveFrames(qint64 count);
    qint64 frameCount() const { return static_cast<qint64>(m_offsets.size()); }
    qint64 frameOffset(qint64 index) const { return m_offsets[static_cast<size_t>(index)]; }
    qint32 frameSize(qint64 index) const { return m_sizes[static_cast<size_t>(index)]; }
    // Seconds from the beginning of the audio to where the frame starts playing.
    double frameStart(qint64 index) const;
    double duration() const { return frameStart(frameCount()); }
    // The frame that plays at `seconds`, held to the first and the last frame.
    qint64 frameAt(double seconds) const;

private:
    // The program handles files below 2 GiB, so 32 bits hold every offset; a long file has
    // millions of frames, and this keeps its map small.
    std::vector<quint32> m_offsets;
    std::vector<quint16> m_sizes;
};
