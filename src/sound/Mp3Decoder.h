#pragma once

#include <QString>
#include <QtGlobal>

#include <stdexcept>

class Mp3Analysis;
struct mpg123_handle_struct;

// libmpg123 cannot decode the file; what() says so in words for the user.
class DecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What the start of an MPEG audio file tells about the whole.
struct StreamFacts
{
    int sampleRate = 0;
    // Frames of the gapless decode: exact where a header frame counts the frames, else guessed
    // from the file's size.
    qint64 estimatedLength = 0;
    int samplesPerFrame = 0;
    // What the LAME tag trims from the decode at each end; 0 without one.
    qint64 trimmed = 0;
};

// One libmpg123 decoder of a file: gapless, always 16-bit stereo at the file's own rate, so
// frame n of its output is sample n of the timeline that the position, the marks and the cut
// share. Not thread-safe; one thread uses it.
class Mp3Decoder
{
public:
    static constexpr int Channels = 2;

    // Throws DecodeError when the file cannot be opened or holds no MPEG audio.
    explicit Mp3Decoder(const QString &path, int sampleRate = 0);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder &) = delete;
    Mp3Decoder &operator=(const Mp3Decoder &) = delete;

    const StreamFacts &facts() const { return m_facts; }

    // Hands libmpg123 the frame offsets of the file's map, so that a seek far into a long file
    // jumps there instead of reading its way.
    void useFrameMap(const Mp3Analysis &frames);
    // To frame `frame` of the timeline; false if libmpg123 could not.
    bool seek(qint64 frame);
    // Up to `maxFrames` frames into `out`; 0 at the end or when nothing more can be decoded.
    qint64 read(char *out, qint64 maxFrames);

    // The exact length in frames, from the file's map of its MPEG frames.
    static qint64 exactLength(const StreamFacts &facts, const Mp3Analysis &frames);

private:
    mpg123_handle_struct *m_handle = nullptr;
    StreamFacts m_facts;
};
