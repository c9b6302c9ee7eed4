#include "platform/QtSoundOutput.h"

#include "sound/SampleFeed.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QFile>
#include <QMediaDevices>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// What the stream holds: the least that plays on without gaps on a busy machine, and the most
// that a seek has to wait out, since the stream is kept and its queue plays first.
constexpr qint64 BufferMilliseconds = 60;
constexpr int PumpEvery = 10; // ms

const QString OutputLost = QStringLiteral("声音输出中断：音频服务已断开，播放继续，但没有声音");

} // namespace

// What the output's thread tells the window's: the reading of the latest session. A start or a
// stop begins a new session; what the thread found out in an older one is dropped.
struct SharedReading
{
    std::mutex mutex;
    OutputReading reading;
    quint64 session = 0;

    void publish(quint64 from, const OutputReading &news)
    {
        std::lock_guard lock(mutex);
        if (from == session)
            reading = news;
    }
};

namespace {

// One thread for every sound output of the process, running until the application goes. Qt's
// PulseAudio engine belongs to the thread that first used it and reconnects to a restarted
// server from there, so that thread must not end with a player.
QThread *soundThread()
{
    static QThread *thread = [] {
        auto *made = new QThread;
        made->setObjectName(QStringLiteral("sound output"));
        // Starved of the CPU it lets the stream run dry.
        made->start(QThread::TimeCriticalPriority);
        qAddPostRoutine([] {
            thread->quit();
            // Caught in Qt's wait for a server that died while a stream opened, it never comes
            // back; it is left to the end of the process rather than waited for.
            if (thread->wait(3000))
                delete thread;
        });
        return made;
    }();
    return thread;
}

// Whether a sound server's socket takes a connection. Qt 6.4 connects to the server once, when its
// audio is first used, and never tries again if none answered then, though it reconnects to one
// that went away later; so Qt's audio is first touched once a server is there. A server named
// otherwise than by one local socket is left to Qt to find.
bool soundServerAnswers()
{
    QStringList sockets;
    const QString named = qEnvironmentVariable("PULSE_SERVER").trimmed();
    if (!named.isEmpty()) {
        if (!named.startsWith(QLatin1String("unix:")) || named.contains(QLatin1Char(' ')))
            return true;
        sockets << named.mid(5);
    } else {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        sockets << (runtime.isEmpty() ? QStringLiteral("/run/user/%1").arg(::getuid()) : runtime) +
                       QStringLiteral("/pulse/native")
                << QStringLiteral("/run/pulse/native") << QStringLiteral("/var/run/pulse/native");
    }
    for (const QString &path : sockets) {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        if (name.size() >= qsizetype(sizeof(address.sun_path)))
            continue;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        const bool answered =
            ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        ::close(fd);
        if (answered)
            return true;
    }
    return false;
}

} // namespace

// Lives on the sound thread and is the only one to touch the sink.
class SinkWorker : public QObject
{
public:
    explicit SinkWorker(std::shared_ptr<SharedReading> shared)
        : m_shared(std::move(shared)), m_pump(new QTimer(this))
    {
        m_pump->setInterval(PumpEvery);
        m_pump->setTimerType(Qt::PreciseTimer);
        connect(m_pump, &QTimer::timeout, this, &SinkWorker::pump);
    }

    void start(quint64 session, int sampleRate, std::shared_ptr<SampleFeed> feed)
    {
        stopSink();
        m_session = session;
        m_feed = std::move(feed);
        m_run = 0;
        m_handed = 0;
        m_padded = 0;
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Int16);
        // Only this thread reads or sets it.
        static bool qtAudioConnected = false;
        if (!qtAudioConnected && !soundServerAnswers()) {
            fail(noSoundOutputText());
            return;
        }
        qtAudioConnected = true;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(format)) {
            fail(noSoundOutputText());
            return;
        }
        // Kept while the device and the format stay: a new sink per play costs a new stream.
        if (!m_sink || m_device != device || m_sink->format() != format) {
            delete m_sink;
            m_sink = new QAudioSink(device, format, this);
            m_device = device;
        }
        m_sink->setVolume(m_volume);
        // Qt 6.4 keeps the buffer the server granted last time, smaller at each start.
        m_bufferBytes = format.bytesForDuration(BufferMilliseconds * 1000);
        m_sink->setBufferSize(m_bufferBytes);
        m_io = m_sink->start(); // may take long; only this thread waits
        if (!m_io) {
            fail(noSoundOutputText());
            return;
        }
        // What the server granted, which the queue is measured against.
        m_bufferBytes = m_sink->bufferSize();
        m_pump->start();
        pump();
    }

    void suspend()
    {
        if (!m_io)
            return;
        m_sink->suspend();
        publish(OutputReading::Status::Suspended);
    }

    void resume()
    {
        if (!m_io)
            return;
        m_sink->resume();
        pump();
    }

    void stop()
    {
        stopSink();
        m_feed.reset();
    }

    void setVolume(double volume)
    {
        m_volume = volume;
        if (m_sink)
            m_sink->setVolume(volume);
    }

    void shutDown()
    {
        stop();
        delete m_sink;
        m_sink = nullptr;
    }

    void setSession(quint64 session) { m_session = session; }

private:
    void stopSink()
    {
        m_pump->stop();
        if (m_sink && m_io)
            m_sink->stop();
        m_io = nullptr;
    }

    void fail(const QString &problem)
    {
        stopSink();
        OutputReading reading;
        reading.status = OutputReading::Status::Failed;
        reading.run = m_run;
        reading.handed = m_handed;
        reading.problem = problem;
        m_shared->publish(m_session, reading);
    }

    void publish(OutputReading::Status status, qint64 queued = -1)
    {
        OutputReading reading;
        reading.status = status;
        reading.run = m_run;
        reading.handed = m_handed;
        reading.queued = queued >= 0 ? queued : m_queued;
        m_queued = reading.queued;
        m_shared->publish(m_session, reading);
    }

    // Tops the stream up from the feed and tells what it holds.
    void pump()
    {
        if (!m_io || !m_feed)
            return;
        if (m_sink->state() == QAudio::StoppedState) {
            // Qt closes the stream when the server goes away.
            fail(OutputLost);
            return;
        }
        if (m_sink->state() == QAudio::SuspendedState)
            return; // holds what it has: nothing is heard meanwhile
        qint64 room = m_sink->bytesFree();
        // libpulse answers a stream it has lost with (size_t) -1.
        if (room < 0) {
            fail(OutputLost);
            return;
        }
        const qint64 bufferFrames = m_bufferBytes / SampleFeed::BytesPerFrame;
        while (room >= SampleFeed::BytesPerFrame) {
            const qint64 want = room / SampleFeed::BytesPerFrame;
            m_block.resize(static_cast<size_t>(want * SampleFeed::BytesPerFrame));
            quint64 run = 0;
            qint64 frames = m_feed->take(m_block.data(), want, run);
            if (run != m_run) {
                m_run = run;
                m_handed = 0;
                m_padded = 0;
            }
            if (frames == 0) {
                // At the end, silence pushes the last of the audio out of the stream, which
                // would otherwise wait for a full buffer before playing it.
                if (m_feed->runEnd() < 0 || m_padded >= bufferFrames)
                    break;
                frames = std::min(want, bufferFrames - m_padded);
                std::fill_n(m_block.begin(), frames * SampleFeed::BytesPerFrame, 0);
                m_padded += frames;
            }
            const qint64 written = m_io->write(m_block.data(), frames * SampleFeed::BytesPerFrame);
            if (written <= 0)
                break;
            m_handed += written / SampleFeed::BytesPerFrame;
            room -= written;
        }
        const qint64 free = std::clamp<qint64>(m_sink->bytesFree(), 0, m_bufferBytes);
        publish(OutputReading::Status::Running, (m_bufferBytes - free) / SampleFeed::BytesPerFrame);
    }

    std::shared_ptr<SharedReading> m_shared;
    QTimer *m_pump;
    QAudioSink *m_sink = nullptr;
    QAudioDevice m_device;
    QIODevice *m_io = nullptr;
    std::shared_ptr<SampleFeed> m_feed;
    std::vector<char> m_block;
    quint64 m_session = 0;
    quint64 m_run = 0;
    qint64 m_handed = 0;
    qint64 m_padded = 0;
    qint64 m_queued = 0;
    qint64 m_bufferBytes = 0;
    double m_volume = 1.0;
};

QtSoundOutput::QtSoundOutput()
    : m_shared(std::make_shared<SharedReading>()), m_worker(new SinkWorker(m_shared))
{
    m_worker->moveToThread(soundThread());
}

QtSoundOutput::~QtSoundOutput()
{
    // The sink goes on its own thread, now, so that it is gone before the application is.
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, done] {
        worker->shutDown();
        worker->deleteLater();
        done->release();
    });
    // A thread caught opening a stream for good keeps its worker; the reading it would write is
    // shared, so nothing of ours is left for it to reach.
    if (!done->tryAcquire(1, 3000))
        qWarning("The sound output does not answer; it is left behind.");
}

void QtSoundOutput::start(int sampleRate, std::shared_ptr<SampleFeed> feed)
{
    quint64 session = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        session = ++m_shared->session;
        m_shared->reading = {};
        m_shared->reading.status = OutputReading::Status::Starting;
    }
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, session, sampleRate, feed] {
        worker->start(session, sampleRate, feed);
    });
}

void QtSoundOutput::suspend()
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->reading.status == OutputReading::Status::Running)
            m_shared->reading.status = OutputReading::Status::Suspended;
    }
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->suspend(); });
}

void QtSoundOutput::resume()
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->reading.status == OutputReading::Status::Suspended)
            m_shared->reading.status = OutputReading::Status::Running;
    }
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->resume(); });
}

void QtSoundOutput::stop()
{
    quint64 session = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        session = ++m_shared->session;
        m_shared->reading = {};
    }
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, session] {
        worker->stop();
        worker->setSession(session);
    });
}

void QtSoundOutput::setVolume(double volume)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, volume] { worker->setVolume(volume); });
}

OutputReading QtSoundOutput::reading() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->reading;
}
