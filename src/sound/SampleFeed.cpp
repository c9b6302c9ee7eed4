#include "sound/SampleFeed.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

SampleFeed::SampleFeed(qint64 capacityFrames)
    : m_ring(static_cast<size_t>(capacityFrames * BytesPerFrame))
{
}

quint64 SampleFeed::restart(qint64 frame)
{
    // Numbered across feeds, so an output that moves on to another file's feed cannot take
    // that file's run for the one it played last.
    static std::atomic<quint64> runs{0};
    std::lock_guard lock(m_mutex);
    m_run = ++runs;
    m_runStart = frame;
    m_decoded = 0;
    m_head = 0;
    m_used = 0;
    m_finished = false;
    m_seekPending = true;
    m_wake.notify_all();
    return m_run;
}

void SampleFeed::shutDown()
{
    std::lock_guard lock(m_mutex);
    m_shutDown = true;
    m_wake.notify_all();
}

qint64 SampleFeed::take(char *out, qint64 maxFrames, quint64 &run)
{
    std::lock_guard lock(m_mutex);
    run = m_run;
    const size_t want =
        std::min(static_cast<size_t>(std::max<qint64>(maxFrames, 0)) * BytesPerFrame, m_used);
    const size_t first = std::min(want, m_ring.size() - m_head);
    std::memcpy(out, m_ring.data() + m_head, first);
    std::memcpy(out + first, m_ring.data(), want - first);
    m_head = (m_head + want) % m_ring.size();
    m_used -= want;
    if (want > 0)
        m_wake.notify_all();
    return static_cast<qint64>(want / BytesPerFrame);
}

qint64 SampleFeed::runEnd() const
{
    std::lock_guard lock(m_mutex);
    return m_finished ? m_runStart + m_decoded : -1;
}

qint64 SampleFeed::buffered() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<qint64>(m_used / BytesPerFrame);
}

qint64 SampleFeed::freeFrames() const
{
    return static_cast<qint64>((m_ring.size() - m_used) / BytesPerFrame);
}

bool SampleFeed::waitForWork(Work &work)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(
        lock, [this] { return m_shutDown || m_seekPending || (!m_finished && freeFrames() > 0); });
    if (m_shutDown)
        return false;
    work.run = m_run;
    work.seekTo = std::exchange(m_seekPending, false) ? m_runStart : -1;
    return true;
}

void SampleFeed::put(quint64 run, const char *data, qint64 frames)
{
    std::unique_lock lock(m_mutex);
    size_t bytes = static_cast<size_t>(frames) * BytesPerFrame;
    while (bytes > 0) {
        m_wake.wait(lock, [this, run] { return m_shutDown || run != m_run || freeFrames() > 0; });
        if (m_shutDown || run != m_run)
            return;
        const size_t chunk = std::min(bytes, static_cast<size_t>(freeFrames()) * BytesPerFrame);
        const size_t tail = (m_head + m_used) % m_ring.size();
        const size_t first = std::min(chunk, m_ring.size() - tail);
        std::memcpy(m_ring.data() + tail, data, first);
        std::memcpy(m_ring.data(), data + first, chunk - first);
        m_used += chunk;
        m_decoded += static_cast<qint64>(chunk / BytesPerFrame);
        data += chunk;
        bytes -= chunk;
    }
}

void SampleFeed::finish(quint64 run)
{
    std::lock_guard lock(m_mutex);
    if (run == m_run)
        m_finished = true;
}
