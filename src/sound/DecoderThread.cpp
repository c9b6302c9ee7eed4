#include "sound/DecoderThread.h"

#include "mp3/Mp3Analysis.h"
#include "sound/Mp3Decoder.h"
#include "sound/SampleFeed.h"

#include <QtDebug>

#include <optional>
#include <vector>

namespace {
// Frames per block: small enough that a seek waits little for the block in hand.
constexpr qint64 BlockFrames = 2304;
} // namespace

DecoderThread::DecoderThread(const QString &path, int sampleRate, std::shared_ptr<SampleFeed> feed)
    : m_feed(std::move(feed)), m_thread([this, path, sampleRate] { run(path, sampleRate); })
{
}

DecoderThread::~DecoderThread()
{
    m_feed->shutDown();
    m_thread.join();
}

void DecoderThread::useFrameMap(std::shared_ptr<const Mp3Analysis> frames)
{
    std::lock_guard lock(m_mutex);
    m_frames = std::move(frames);
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
    while (m_feed->waitForWork(work)) {
        if (!decoder) {
            m_feed->finish(work.run);
            continue;
        }
        std::shared_ptr<const Mp3Analysis> frames;
        {
            std::lock_guard lock(m_mutex);
            frames = std::exchange(m_frames, nullptr);
        }
        if (frames)
            decoder->useFrameMap(*frames);
        if (work.seekTo >= 0 && !decoder->seek(work.seekTo)) {
            m_feed->finish(work.run);
            continue;
        }
        const qint64 frameCount = decoder->read(block.data(), BlockFrames);
        if (frameCount == 0)
            m_feed->finish(work.run);
        else
            m_feed->put(work.run, block.data(), frameCount);
    }
}
