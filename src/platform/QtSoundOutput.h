#pragma once

#include "sound/SoundOutput.h"

#include <mutex>

class QThread;
class SinkWorker;

// The sound output over Qt Multimedia's QAudioSink, on a thread of its own: opening a stream can
// take seconds, or hang for good when the sound server stops answering, and the window must
// never wait for it. One stream serves a whole play session; a seek only changes what the feed
// holds, and a pause suspends the stream.
class QtSoundOutput : public SoundOutput
{
public:
    QtSoundOutput();
    // Stops and deletes the sink on its thread, before the application goes.
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
    friend class SinkWorker;
    // From the sink's thread: what it did in `session`; dropped once another session has begun.
    void publish(quint64 session, const OutputReading &reading);

    mutable std::mutex m_mutex;
    OutputReading m_reading;
    quint64 m_session = 0; // a start or a stop begins a new one
    QThread *m_thread = nullptr;
    SinkWorker *m_worker = nullptr;
};
