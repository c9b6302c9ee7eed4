#include "mp3/Mp3ByteMap.h"

#include "mp3/Mp3Tables.h"

#include <algorithm>

qint64 firstByteAt(const Mp3Analysis &analysis, double seconds)
{
    if (!(seconds > 0) || analysis.frameCount() == 0)
        return 1;
    if (seconds >= analysis.duration())
        return analysis.fileSize + 1;
    return analysis.frameOffset(analysis.frameAt(seconds)) + 1;
}

qint64 lastByteAt(const Mp3Analysis &analysis, double seconds)
{
    if (analysis.frameCount() == 0)
        return analysis.fileSize;
    const qint64 frame = analysis.frameAt(seconds);
    return analysis.frameOffset(frame) + analysis.frameSize(frame);
}

PieceFrames framesWithin(const Mp3Analysis &analysis, qint64 first, qint64 last)
{
    // Offsets increase, so both ends are binary searches.
    qint64 lo = 0;
    qint64 hi = analysis.frameCount();
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (analysis.frameOffset(mid) < first)
            lo = mid + 1;
        else
            hi = mid;
    }
    PieceFrames frames;
    frames.first = lo;
    hi = analysis.frameCount();
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (analysis.frameOffset(mid) <= last)
            lo = mid + 1;
        else
            hi = mid;
    }
    frames.last = lo - 1;
    if (frames.last >= frames.first &&
        analysis.frameOffset(frames.last) + analysis.frameSize(frames.last) - 1 > last)
        --frames.last;
    return frames;
}

qint64 samplesWithin(const Mp3Analysis &analysis, qint64 first, qint64 last)
{
    const PieceFrames frames = framesWithin(analysis, first, last);
    qint64 samples = std::max<qint64>(0, frames.count()) * analysis.format.samplesPerFrame;
    const auto &held = analysis.headerFrame;
    if (samples > 0 && held && held->encoderDelay >= 0 && first <= held->offset &&
        frames.first == 0) {
        samples -= held->encoderDelay + mp3::DecoderDelay;
        if (frames.last == analysis.frameCount() - 1)
            samples -= std::max(0, held->encoderPadding - mp3::DecoderDelay);
    }
    return std::max<qint64>(0, samples);
}
