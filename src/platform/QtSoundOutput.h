#pragma once

#include "sound/SoundOutput.h"

#include <memory>

class SinkWorker;
struct SharedReading;

// The sound output over Qt Multimedia's QAudioSink, on a thread apart: opening a stream can take
// seconds, or hang for good when the sound server stops answering, and the window must never
// wait for it. One stream serves a whole play session; a seek only changes what the feed
// holds, and a pause suspends the stream.
class QtSoundOutput : public SoundOutput
{
public:
    QtSoundOutput();
    // Stops and deletes the sink on its thread.
    ~QtSoundOutput() override;
    QtSoundOutput(const QtSoundOutput &) = delete;
    QtSoundOutput &operator=(const QtSoundOutput &) = delete;

    void start(int sampleRate, std::shared_ptr<SampleFeed> feed) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    void setVolume(double volume) override;
    OutputReading reading() const override;

private:
    std::shared_ptr<SharedReading> m_shared;
    SinkWorker *m_worker = nullptr;
};
