#include "mp3/Mp3ByteMap.h"

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
