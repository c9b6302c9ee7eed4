#include "sound/PlaybackEngine.h"

#include "mp3/Mp3Analysis.h"
#include "sound/DecoderThread.h"
#include "sound/SampleFeed.h"

#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int PollEvery = 25;       // ms
constexpr int PollForMark = 5;      // ms, while a pause mark waits: how late it can come
constexpr qint64 StallAfter = 1000; // ms that heard audio may stand still while playing
constexpr qint64 FeedSeconds = 1;   // decoded ahead of the output

} // namespace

PlaybackEngine::PlaybackEngine(SoundOutput &output, const Clock &clock, QObject *parent)
    : QObject(parent), m_output(output), m_clock(clock), m_timer(new QTimer(this))
{
    m_timer->setInterval(PollEvery);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PlaybackEngine::poll);
}

PlaybackEngine::~PlaybackEngine()
{
    m_output.stop();
}

void PlaybackEngine::open(const QString &path)
{
    // Tried first, so that a file libmpg123 cannot decode changes nothing.
    const StreamFacts facts = Mp3Decoder(path).facts();
    close();
    m_facts = facts;
    m_length = facts.estimatedLength;
    m_feed = std::make_shared<SampleFeed>(facts.sampleRate * FeedSeconds);
    m_decoder = std::make_unique<DecoderThread>(path, facts.sampleRate, m_feed);
    // Decoding starts now, so the first play finds sound waiting.
    beginRun(0);
    emit lengthChanged();
}

void PlaybackEngine::beginRun(qint64 frame)
{
    m_run = m_feed->restart(frame);
    m_runBase = frame;
}

void PlaybackEngine::close()
{
    if (!m_feed)
        return;
    const bool wasStopped = m_state == State::Stopped;
    m_output.stop();
    m_outputOpen = false;
    m_withoutSound = false;
    // A decoder deep in a seek through a long file without its map may take a while to notice;
    // it is let go elsewhere so that the window does not wait for it.
    std::shared_ptr<DecoderThread> decoder(std::move(m_decoder));
    QThreadPool::globalInstance()->start([decoder]() mutable { decoder.reset(); });
    m_feed.reset();
    m_frames.reset();
    m_facts = {};
    m_length = 0;
    m_lengthExact = false;
    m_heldAt = 0;
    m_pauseAt = -1;
    setProblem({});
    if (!wasStopped)
        setState(State::Stopped);
    emit lengthChanged();
}

void PlaybackEngine::setFrameMap(std::shared_ptr<const Mp3Analysis> frames)
{
    // A map of something else than what libmpg123 decodes (no frames, another rate) is no use.
    if (!m_feed || !frames || frames->frameCount() == 0 ||
        frames->format.sampleRate != m_facts.sampleRate || frames == m_frames)
        return;
    // Kept to know it again: each new map rebuilds libmpg123's seek index.
    m_frames = frames;
    const qint64 exact = Mp3Decoder::exactLength(m_facts, *frames);
    m_decoder->useFrameMap(std::move(frames));
    if (m_lengthExact && exact == m_length)
        return;
    m_length = exact;
    m_lengthExact = true;
    emit lengthChanged();
}

void PlaybackEngine::play()
{
    m_pauseAt = -1;
    if (!m_feed || m_state == State::Playing)
        return;
    if (m_state == State::Paused && m_outputOpen && !m_withoutSound)
        m_output.resume();
    else
        playFrom(m_heldAt);
    m_lastMove = m_clock.milliseconds();
    setState(State::Playing);
}

void PlaybackEngine::playFrom(qint64 frame)
{
    beginRun(frame);
    m_withoutSound = false;
    const OutputReading::Status status = m_output.reading().status;
    if (m_outputOpen && status == OutputReading::Status::Suspended) {
        m_output.resume();
        return;
    }
    // A stream already open plays the new run after what it holds.
    if (m_outputOpen &&
        (status == OutputReading::Status::Running || status == OutputReading::Status::Starting))
        return;
    startOutput();
}

void PlaybackEngine::startOutput()
{
    m_output.stop();
    m_output.start(m_facts.sampleRate, m_feed);
    m_outputOpen = true;
    m_startedAt = m_clock.milliseconds();
}

void PlaybackEngine::pause()
{
    m_pauseAt = -1;
    if (m_state != State::Playing)
        return;
    m_heldAt = position();
    if (!m_withoutSound)
        m_output.suspend();
    setState(State::Paused);
}

void PlaybackEngine::stop()
{
    m_pauseAt = -1;
    if (m_feed)
        halt(false);
}

void PlaybackEngine::seek(qint64 frame)
{
    m_pauseAt = -1;
    if (!m_feed)
        return;
    frame = std::max<qint64>(0, m_length > 0 ? std::min(frame, m_length) : frame);
    if (m_state != State::Playing) {
        m_heldAt = frame;
        // Paused with a stream open: decoding starts there now, and the stream goes on from
        // there when resumed.
        if (m_state == State::Paused && m_outputOpen && !m_withoutSound) {
            beginRun(frame);
        }
        return;
    }
    beginRun(frame);
    m_clockBase = frame;
    m_clockFrom = m_clock.milliseconds();
    m_lastMove = m_clockFrom;
}

void PlaybackEngine::pauseAt(qint64 frame)
{
    m_pauseAt = m_feed ? std::max<qint64>(0, frame) : -1;
    if (m_pauseAt >= 0)
        m_timer->setInterval(PollForMark);
}

void PlaybackEngine::setVolume(double volume)
{
    m_output.setVolume(std::clamp(volume, 0.0, 1.0));
}

qint64 PlaybackEngine::position() const
{
    if (!m_feed)
        return 0;
    if (m_state != State::Playing)
        return m_heldAt;
    if (m_withoutSound)
        return clockPosition();
    return heardPosition(m_output.reading());
}

qint64 PlaybackEngine::heardPosition(const OutputReading &reading) const
{
    // Until the output hands on audio of this run, what it plays is from before the seek.
    if (reading.run != m_run)
        return m_runBase;
    qint64 heard = m_runBase + std::max<qint64>(0, reading.handed - reading.queued);
    // Past the end it hands on silence, to push the last of the audio through.
    if (const qint64 end = m_feed->runEnd(); end >= 0)
        heard = std::min(heard, end);
    return heard;
}

qint64 PlaybackEngine::clockPosition() const
{
    const qint64 at = m_clockBase + framesIn(m_clock.milliseconds() - m_clockFrom);
    return m_length > 0 ? std::min(at, m_length) : at;
}

qint64 PlaybackEngine::framesIn(qint64 milliseconds) const
{
    return std::max<qint64>(0, milliseconds) * m_facts.sampleRate / 1000;
}

void PlaybackEngine::goOnWithoutSound(qint64 from, qint64 since, const QString &problem)
{
    m_withoutSound = true;
    m_clockBase = from;
    m_clockFrom = since;
    m_lastTry = m_clock.milliseconds();
    setProblem(problem.isEmpty() ? noSoundOutputText() : problem);
}

void PlaybackEngine::poll()
{
    if (!m_feed || m_state != State::Playing) {
        m_timer->stop();
        return;
    }
    const qint64 now = m_clock.milliseconds();
    const OutputReading reading = m_output.reading();
    using Status = OutputReading::Status;
    if (!m_withoutSound) {
        if (reading.status == Status::Failed) {
            goOnWithoutSound(heardPosition(reading), reading.run == m_run ? now : m_startedAt,
                             reading.problem);
        } else if (reading.status != Status::Running) {
            if (now - m_startedAt > StartPatience)
                goOnWithoutSound(m_runBase, m_startedAt,
                                 QStringLiteral("无法播放声音：音频输出没有响应"));
        } else if (const qint64 heard = heardPosition(reading); heard != m_lastHeard) {
            m_lastHeard = heard;
            m_lastMove = now;
            setProblem({});
        } else if (now - m_lastMove > StallAfter && reading.queued > 0 && m_feed->buffered() > 0) {
            // Audio waits on both sides and none is heard: the output has stopped taking it.
            goOnWithoutSound(heard, now, QStringLiteral("声音输出没有响应，播放继续，但没有声音"));
        }
    } else if (reading.status == Status::Running) {
        // Sound is back: it goes on from where the clock has got to.
        const qint64 at = clockPosition();
        beginRun(at);
        m_withoutSound = false;
        m_lastMove = now;
    } else if (reading.status != Status::Starting && now - m_lastTry >= RetryEvery) {
        m_lastTry = now;
        startOutput();
    }

    const qint64 at = position();
    const qint64 end = m_withoutSound ? m_length : m_feed->runEnd();
    if (end >= 0 && at >= end) {
        halt(true);
        return;
    }
    if (m_pauseAt >= 0 && at >= m_pauseAt)
        pause();
    if (m_pauseAt < 0)
        m_timer->setInterval(PollEvery);
}

// Stopped by the user, or at the end of the file (ranOut).
void PlaybackEngine::halt(bool ranOut)
{
    m_output.stop();
    m_outputOpen = false;
    m_withoutSound = false;
    m_heldAt = 0;
    m_pauseAt = -1;
    setProblem({});
    setState(State::Stopped, ranOut);
}

void PlaybackEngine::setState(State state, bool ranOut)
{
    if (state == State::Playing)
        m_timer->start();
    else
        m_timer->stop();
    if (m_state == state && !ranOut)
        return;
    m_state = state;
    emit stateChanged(state, ranOut);
}

void PlaybackEngine::setProblem(const QString &problem)
{
    if (problem == m_problem)
        return;
    m_problem = problem;
    emit soundProblemChanged(problem);
}
