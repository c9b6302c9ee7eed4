#include "mp3/Mp3ByteMap.h"

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

qint64 samplesWithin(const Mp3Analysis &analysis, qint64 first, qint64 last)
{
    // Offsets increase, so the frames inside are one run found by two binary searches.
    qint64 lo = 0;
    qint64 hi = analysis.frameCount();
    const auto search = [&](auto before) {
        while (lo < hi) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (before(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    const qint64 begin = search([&](qint64 f) { return analysis.frameOffset(f) < first; });
    hi = analysis.frameCount();
    const qint64 end = search(
        [&](qint64 f) { return analysis.frameOffset(f) + analysis.frameSize(f) - 1 <= last; });
    qint64 samples = (end - begin) * analysis.format.samplesPerFrame;
    const auto &held = analysis.headerFrame;
    if (samples > 0 && held && held->encoderDelay >= 0 && first <= held->offset && begin == 0) {
        samples -= held->encoderDelay + 529; // and the decoder's own delay
        if (end == analysis.frameCount())
            samples -= std::max(0, held->encoderPadding - 529);
    }
    return std::max<qint64>(0, samples);
}
