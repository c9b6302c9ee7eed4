#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <vector>

// The bounded buffer between the decoder and the sound output: 16-bit stereo frames of one run,
// a run being playback from one place (a start or a seek) onwards. A seek begins a new run and
// throws away what was decoded for the old one, so the output never plays audio from before it.
// Thread-safe; nothing waits here but the decoder, for room or for work.
class SampleFeed
{
public:
    static constexpr int BytesPerFrame = 4; // two channels of 16 bits

    explicit SampleFeed(qint64 capacityFrames);

    // Begins a run at `frame` of the timeline; returns its number. The decoder is woken to seek.
    quint64 restart(qint64 frame);
    // Ends the feed for good: the decoder leaves its loop.
    void shutDown();

    // Output side. Takes up to `maxFrames` of the current run; `run` is set to it.
    qint64 take(char *out, qint64 maxFrames, quint64 &run);
    // Where the current run ends, once the decoder has reached the end of the file; else -1.
    qint64 runEnd() const;
    // Frames decoded and not yet taken.
    qint64 buffered() const;

    // Decoder side. Waits until there is room, a new run or the end; returns false at the end.
    // `seekTo` is set (and the decoder must seek) when a new run has begun since the last call.
    struct Work
    {
        quint64 run = 0;
        qint64 seekTo = -1;
    };
    bool waitForWork(Work &work);
    // Appends decoded frames to `run`; dropped if another run has begun meanwhile.
    void put(quint64 run, const char *data, qint64 frames);
    // The decoder reached the file's end (or could decode no further) in `run`.
    void finish(quint64 run);

private:
    qint64 freeFrames() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<char> m_ring;
    size_t m_head = 0; // byte offset of the oldest frame
    size_t m_used = 0; // bytes
    quint64 m_run = 0;
    qint64 m_runStart = 0;
    qint64 m_decoded = 0; // frames put into the current run
    bool m_finished = false;
    bool m_seekPending = false;
    bool m_shutDown = false;
};
