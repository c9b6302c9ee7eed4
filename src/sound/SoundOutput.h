#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class SampleFeed;

// Told when no audio device can be opened, by the output and the engine alike.
inline QString noSoundOutputText()
{
    return QStringLiteral("无法播放声音：没有可用的音频输出");
}

// What the engine sees of the sound output at a moment.
struct OutputReading
{
    enum class Status {
        Off,       // not started, or stopped
        Starting,  // a stream is being opened
        Running,   // taking samples from the feed
        Suspended, // paused, holding what it has queued
        Failed,    // no stream could be opened, or the one open was lost; `problem` says why
    };
    Status status = Status::Off;
    quint64 run = 0;   // the feed's run it took samples from last
    qint64 handed = 0; // frames of that run handed to the device, silence after its end included
    qint64 queued = 0; // frames handed to the device and not yet heard, of any run
    QString problem;
};

// The sound output as the engine drives it: 16-bit stereo frames taken from a feed. No call
// waits on the sound system; what becomes of a call shows in reading().
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;
    // Opens a stream that plays what the feed holds, run after run, until stop().
    virtual void start(int sampleRate, std::shared_ptr<SampleFeed> feed) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    // 0 … 1.
    virtual void setVolume(double volume) = 0;
    virtual OutputReading reading() const = 0;
};

// Monotonic time, for playback without sound.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 milliseconds() const = 0;
};
