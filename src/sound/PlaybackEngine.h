#pragma once

#include "sound/Mp3Decoder.h"
#include "sound/SoundOutput.h"

#include <QObject>
#include <QString>

#include <memory>

class DecoderThread;
class Mp3Analysis;
class QTimer;
class SampleFeed;

// The program's player without widgets: one file, decoded ahead by libmpg123 and played through
// a sound output. Positions and lengths are frames of the file's gapless decode, the timeline the
// marks and the cut share. The position is what is heard: frames handed to the output less those
// it still holds. Without an output, or once it is lost, playback goes on against the clock, so
// marking and saving still work, and sound is tried again while playing and at each play.
// Every call returns at once; the engine lives on the window's thread.
class PlaybackEngine : public QObject
{
    Q_OBJECT

public:
    enum class State { Stopped, Paused, Playing };

    PlaybackEngine(SoundOutput &output, const Clock &clock, QObject *parent = nullptr);
    ~PlaybackEngine() override;

    // The file, stopped at its beginning. Throws DecodeError for a file libmpg123 cannot decode,
    // and the file open before stays.
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_feed != nullptr; }
    // The file's map of MPEG frames: the exact length, and where a seek finds each frame.
    void setFrameMap(std::shared_ptr<const Mp3Analysis> frames);

    void play();
    void pause();
    void stop();
    void seek(qint64 frame);
    // Pauses once playback reaches `frame`; play, pause, stop, a seek or another file call it off.
    void pauseAt(qint64 frame);
    void cancelPauseAt() { m_pauseAt = -1; }
    void setVolume(double volume);

    State state() const { return m_state; }
    qint64 position() const;
    // Exact once the frame map is in; libmpg123's estimate until then.
    qint64 length() const { return m_length; }
    bool lengthIsExact() const { return m_lengthExact; }
    int sampleRate() const { return m_facts.sampleRate; }
    // Why playback is silent; empty while there is sound or nothing plays.
    QString soundProblem() const { return m_problem; }

    // Looks at the output, the end of the file and the pause mark; a timer calls it while playing.
    void poll();

    // How long an output may take to open before playback goes on without it, and how often a
    // lost one is tried again while playing.
    static constexpr qint64 StartPatience = 1200; // ms
    static constexpr qint64 RetryEvery = 2000;    // ms

signals:
    // ranOut: stopped because the file came to its end.
    void stateChanged(PlaybackEngine::State state, bool ranOut);
    void lengthChanged();
    void soundProblemChanged(const QString &problem);

private:
    void setState(State state, bool ranOut = false);
    // A run of the feed from `frame`; the output is started unless it is already running.
    void playFrom(qint64 frame);
    void startOutput();
    void goOnWithoutSound(qint64 from, qint64 since, const QString &problem);
    void setProblem(const QString &problem);
    qint64 heardPosition(const OutputReading &reading) const;
    qint64 clockPosition() const;
    qint64 framesIn(qint64 milliseconds) const;
    void halt(bool ranOut);
    // Starts a new run of the feed at `frame`, which the output plays from.
    void beginRun(qint64 frame);

    SoundOutput &m_output;
    const Clock &m_clock;
    QTimer *m_timer = nullptr;
    std::shared_ptr<SampleFeed> m_feed;
    std::unique_ptr<DecoderThread> m_decoder;
    std::shared_ptr<const Mp3Analysis> m_frames; // the map the decoder was given last
    StreamFacts m_facts;
    qint64 m_length = 0;
    bool m_lengthExact = false;
    State m_state = State::Stopped;
    qint64 m_heldAt = 0;       // where playback stands while stopped or paused
    quint64 m_run = 0;         // the feed's run now playing
    qint64 m_runBase = 0;      // where it began
    bool m_outputOpen = false; // started since the last stop
    qint64 m_startedAt = 0;    // ms, when the output was last asked to start
    bool m_withoutSound = false;
    qint64 m_clockBase = 0; // frame playback stood at when the clock took over
    qint64 m_clockFrom = 0; // ms
    qint64 m_lastTry = 0;   // ms, when sound was last tried again
    qint64 m_lastHeard = -1;
    qint64 m_lastMove = 0; // ms, when heard audio last moved on
    qint64 m_pauseAt = -1;
    QString m_problem;
};
