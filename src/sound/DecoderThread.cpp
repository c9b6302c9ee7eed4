#include "sound/DecoderThread.h"

#include "mp3/Mp3Analysis.h"
#include "sound/Mp3Decoder.h"
#include "sound/SampleFeed.h"

#include <QtDebug>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace {
// Frames per block: small enough that a seek waits little for the block in hand.
constexpr qint64 BlockFrames = 2304;
// Without the frame map, libmpg123 reads its way to a seek's target through every frame before
// it: 10 s for 1.5 GiB. The map comes a moment after the Open, so a seek far past what has been
// decoded waits for it, this long at most.
constexpr auto MapPatience = std::chrono::seconds(3);
constexpr qint64 FarSeconds = 60;
} // namespace

DecoderThread::DecoderThread(const QString &path, int sampleRate, std::shared_ptr<SampleFeed> feed)
    : m_feed(std::move(feed)), m_thread([this, path, sampleRate] { run(path, sampleRate); })
{
}

DecoderThread::~DecoderThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_leaving = true;
    }
    m_mapCame.notify_all();
    m_feed->shutDown();
    m_thread.join();
}

void DecoderThread::useFrameMap(std::shared_ptr<const Mp3Analysis> frames)
{
    {
        std::lock_guard lock(m_mutex);
        m_frames = std::move(frames);
        m_mapped = true;
    }
    m_mapCame.notify_all();
}

bool DecoderThread::waitForFrameMap()
{
    std::unique_lock lock(m_mutex);
    m_mapCame.wait_for(lock, MapPatience, [this] { return m_mapped || m_leaving; });
    return !m_leaving;
}

void DecoderThread::run(const QString &path, int sampleRate)
{
    std::optional<Mp3Decoder> decoder;
    try {
        decoder.emplace(path, sampleRate);
    } catch (const std::exception &error) {
        // Changed since it was opened: every run of it is empty.
        qWarning("%s", error.what());
    }
    std::vector<char> block(static_cast<size_t>(BlockFrames) * SampleFeed::BytesPerFrame);
    SampleFeed::Work work;
    qint64 at = 0;      // the frame the decoder stands at
    qint64 reached = 0; // the furthest it has decoded
    while (m_feed->waitForWork(work)) {
        if (!decoder) {
            m_feed->finish(work.run);
            continue;
        }
        if (work.seekTo > reached + FarSeconds * sampleRate && !waitForFrameMap())
            break;
        std::shared_ptr<const Mp3Analysis> frames;
        {
            std::lock_guard lock(m_mutex);
            frames = std::exchange(m_frames, nullptr);
        }
        if (frames)
            decoder->useFrameMap(*frames);
        if (work.seekTo >= 0) {
            if (!decoder->seek(work.seekTo)) {
                m_feed->finish(work.run);
                continue;
            }
            at = work.seekTo;
        }
        const qint64 frameCount = decoder->read(block.data(), BlockFrames);
        at += frameCount;
        reached = std::max(reached, at);
        if (frameCount == 0)
            m_feed->finish(work.run);
        else
            m_feed->put(work.run, block.data(), frameCount);
    }
}
