#include "mp3/Mp3Analysis.h"

#include <algorithm>
#include <cmath>

void Mp3Analysis::appendFrame(qint64 offset, qint32 size)
{
    m_offsets.push_back(static_cast<quint32>(offset));
    m_sizes.push_back(static_cast<quint16>(size));
}

void Mp3Analysis::reserveFrames(qint64 count)
{
    m_offsets.reserve(static_cast<size_t>(count));
    m_sizes.reserve(static_cast<size_t>(count));
}

double Mp3Analysis::frameStart(qint64 index) const
{
    if (format.sampleRate <= 0)
        return 0.0;
    return static_cast<double>(index) * format.samplesPerFrame / format.sampleRate;
}

qint64 Mp3Analysis::frameAt(double seconds) const
{
    const qint64 count = frameCount();
    if (count == 0 || format.samplesPerFrame <= 0 || !(seconds > 0))
        return 0;
    const double index = std::floor(seconds * format.sampleRate / format.samplesPerFrame);
    return std::min<qint64>(count - 1, static_cast<qint64>(std::min(index, 9.0e15)));
}
