#pragma once

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class Mp3Analysis;
class SampleFeed;

// Decodes one file ahead of playback on a thread of its own, into the feed, and seeks where
// each new run of the feed begins. Ends with the feed's shut-down.
class DecoderThread
{
public:
    DecoderThread(const QString &path, int sampleRate, std::shared_ptr<SampleFeed> feed);
    // Shuts the feed down and waits for the thread, which never waits on anything but the feed.
    ~DecoderThread();
    DecoderThread(const DecoderThread &) = delete;
    DecoderThread &operator=(const DecoderThread &) = delete;

    // Taken at the next seek or block, from any thread.
    void useFrameMap(std::shared_ptr<const Mp3Analysis> frames);

private:
    void run(const QString &path, int sampleRate);
    // Waits a while for the frame map, unless it came already; false once leaving.
    bool waitForFrameMap();

    std::shared_ptr<SampleFeed> m_feed;
    std::mutex m_mutex;
    std::condition_variable m_mapCame;
    std::shared_ptr<const Mp3Analysis> m_frames; // not yet handed to the decoder
    bool m_mapped = false;
    bool m_leaving = false;
    std::thread m_thread;
};
