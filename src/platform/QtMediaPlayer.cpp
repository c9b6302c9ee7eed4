#include "platform/QtMediaPlayer.h"

#include "core/TimeText.h"
#include "platform/PlayerTransportBar.h"
#include "platform/QtSoundOutput.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

QString localPath(const QString &url)
{
    // The window hands in plain paths; a file:// URL is taken as it is.
    if (url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(url).toLocalFile();
    return url;
}

class SteadyClock : public Clock
{
public:
    SteadyClock() { m_timer.start(); }
    qint64 milliseconds() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

} // namespace

QtMediaPlayer::QtMediaPlayer(QWidget *parent)
    : MediaPlayer(parent), m_bar(new PlayerTransportBar(this)), m_menu(new QMenu(this)),
      m_knobTimer(new QTimer(this))
{
    // The knob follows playback a few times a second; the engine itself knows it any moment.
    m_knobTimer->setInterval(100);
    connect(m_knobTimer, &QTimer::timeout, this, &QtMediaPlayer::showPosition);

    connect(m_bar, &PlayerTransportBar::playRequested, this, &QtMediaPlayer::play);
    connect(m_bar, &PlayerTransportBar::pauseRequested, this, &QtMediaPlayer::pause);
    connect(m_bar, &PlayerTransportBar::stopRequested, this, &QtMediaPlayer::stop);
    connect(m_bar, &PlayerTransportBar::seekRequested, this, &QtMediaPlayer::seekTo);
    connect(m_bar, &PlayerTransportBar::volumeRequested, this, &QtMediaPlayer::setVolume);
    connect(m_bar, &PlayerTransportBar::muteRequested, this, &QtMediaPlayer::setMute);

    m_menu->addAction(QStringLiteral("播放"), this, &QtMediaPlayer::play);
    m_menu->addAction(QStringLiteral("暂停"), this, &QtMediaPlayer::pause);
    m_menu->addAction(QStringLiteral("停止"), this, &QtMediaPlayer::stop);

    m_bar->setVolume(InitialVolume);
    resize(sizeHint());
    m_bar->setGeometry(rect());
    refreshStatus();
}

// The engine goes first, then the output's thread with its sink: all before the application.
QtMediaPlayer::~QtMediaPlayer()
{
    m_engine.reset();
    m_output.reset();
}

PlaybackEngine &QtMediaPlayer::engine()
{
    if (!m_engine) {
        m_output = std::make_unique<QtSoundOutput>();
        m_clock = std::make_unique<SteadyClock>();
        m_engine = std::make_unique<PlaybackEngine>(*m_output, *m_clock);
        connect(m_engine.get(), &PlaybackEngine::stateChanged, this, &QtMediaPlayer::onState);
        connect(m_engine.get(), &PlaybackEngine::lengthChanged, this, &QtMediaPlayer::onLength);
        connect(m_engine.get(), &PlaybackEngine::soundProblemChanged, this,
                &QtMediaPlayer::refreshStatus);
        applyVolume();
    }
    return *m_engine;
}

bool QtMediaPlayer::hasMedia() const
{
    return m_engine && m_engine->isOpen();
}

void QtMediaPlayer::close()
{
    if (m_engine)
        m_engine->close();
    m_url.clear();
    m_ranOut = false;
    showPosition();
    refreshStatus();
}

void QtMediaPlayer::setURL(const QString &url)
{
    if (url.isEmpty()) {
        close();
        return;
    }
    try {
        // Also the file already open is opened afresh, and so plays from its beginning.
        engine().open(localPath(url));
    } catch (const DecodeError &error) {
        throw PlayerError(error.what());
    }
    m_url = url;
    m_ranOut = false;
    m_engine->play();
    showPosition();
    refreshStatus();
}

void QtMediaPlayer::setFrameMap(std::shared_ptr<const Mp3Analysis> frames)
{
    if (hasMedia())
        m_engine->setFrameMap(std::move(frames));
}

void QtMediaPlayer::setUiMode(const QString &mode)
{
    const QString word = mode.trimmed().toLower();
    if (word == QLatin1String("full")) {
        m_bar->setCompact(false);
        m_bar->show();
    } else if (word == QLatin1String("mini")) {
        m_bar->setCompact(true);
        m_bar->show();
    } else if (word == QLatin1String("none") || word == QLatin1String("invisible")) {
        m_bar->hide();
    } else {
        return;
    }
    m_uiMode = word;
}

void QtMediaPlayer::setVolume(int percent)
{
    m_volume = std::clamp(percent, 0, 100);
    applyVolume();
    m_bar->setVolume(m_volume);
}

void QtMediaPlayer::setMute(bool on)
{
    m_muted = on;
    applyVolume();
    m_bar->setMuted(on);
}

void QtMediaPlayer::applyVolume()
{
    if (m_engine)
        m_engine->setVolume(m_muted ? 0.0 : m_volume / 100.0);
}

void QtMediaPlayer::play()
{
    if (!hasMedia())
        return;
    m_ranOut = false;
    m_engine->play();
}

void QtMediaPlayer::pause()
{
    if (hasMedia())
        m_engine->pause();
}

void QtMediaPlayer::stop()
{
    if (hasMedia())
        m_engine->stop();
    showPosition();
}

void QtMediaPlayer::seekTo(qint64 milliseconds)
{
    if (!hasMedia())
        return;
    m_engine->seek(milliseconds * m_engine->sampleRate() / 1000);
    // The knob and the time text are where the user put them at once.
    showPosition();
    emit positionJumped();
}

qint64 QtMediaPlayer::milliseconds(qint64 frames) const
{
    return hasMedia() ? frames * 1000 / m_engine->sampleRate() : 0;
}

qint64 QtMediaPlayer::currentSample() const
{
    return hasMedia() ? m_engine->position() : 0;
}

QString QtMediaPlayer::currentPositionString() const
{
    // Nothing to show at rest at the beginning: the window then writes 00:00.
    if (!hasMedia() ||
        (m_engine->state() == PlaybackEngine::State::Stopped && m_engine->position() == 0))
        return {};
    return TimeText::fromMilliseconds(milliseconds(m_engine->position()));
}

double QtMediaPlayer::currentPosition() const
{
    return hasMedia() ? double(m_engine->position()) / m_engine->sampleRate() : 0.0;
}

void QtMediaPlayer::setCurrentPosition(double seconds)
{
    if (!hasMedia() || !std::isfinite(seconds))
        return;
    m_engine->seek(std::llround(seconds * m_engine->sampleRate()));
    showPosition();
    emit positionJumped();
}

void QtMediaPlayer::pauseAt(double seconds)
{
    if (!hasMedia() || !(seconds >= 0) || !std::isfinite(seconds))
        return;
    m_engine->pauseAt(std::llround(seconds * m_engine->sampleRate()));
}

void QtMediaPlayer::cancelPauseAt()
{
    if (m_engine)
        m_engine->cancelPauseAt();
}

qint32 QtMediaPlayer::playState() const
{
    if (!m_engine)
        return Stopped;
    switch (m_engine->state()) {
    case PlaybackEngine::State::Playing:
        return Playing;
    case PlaybackEngine::State::Paused:
        return Paused;
    case PlaybackEngine::State::Stopped:
        break;
    }
    return Stopped;
}

QString QtMediaPlayer::durationString() const
{
    return TimeText::fromMilliseconds(milliseconds(lengthInSamples()));
}

double QtMediaPlayer::duration() const
{
    return hasMedia() ? double(m_engine->length()) / m_engine->sampleRate() : 0.0;
}

qint64 QtMediaPlayer::lengthInSamples() const
{
    return hasMedia() ? m_engine->length() : 0;
}

int QtMediaPlayer::sampleRate() const
{
    return hasMedia() ? m_engine->sampleRate() : 0;
}

QSize QtMediaPlayer::sizeHint() const
{
    return {385, 49};
}

void QtMediaPlayer::contextMenuEvent(QContextMenuEvent *event)
{
    // Taken either way: with the menu switched off the window behind must not offer one either.
    event->accept();
    if (!m_contextMenuEnabled)
        return;
    const qint32 state = playState();
    const QList<QAction *> actions = m_menu->actions();
    actions.at(0)->setEnabled(hasMedia() && state != Playing);
    actions.at(1)->setEnabled(state == Playing);
    actions.at(2)->setEnabled(state != Stopped);
    m_menu->popup(event->globalPos());
}

void QtMediaPlayer::paintEvent(QPaintEvent *)
{
    // Seen only with the bar hidden; dark so the window's time text stays legible over it.
    QPainter p(this);
    p.fillRect(rect(), QColor(0x0c, 0x0d, 0x0f));
}

void QtMediaPlayer::resizeEvent(QResizeEvent *event)
{
    MediaPlayer::resizeEvent(event);
    m_bar->setGeometry(rect());
}

void QtMediaPlayer::onState(PlaybackEngine::State state, bool ranOut)
{
    m_ranOut = ranOut;
    const bool playing = state == PlaybackEngine::State::Playing;
    m_bar->setPlaying(playing);
    if (playing)
        m_knobTimer->start();
    else
        m_knobTimer->stop();
    showPosition();
    refreshStatus();
    const qint32 reported = playState();
    // Reported after the call that caused it has returned, as a player's events come: the
    // window writes its own caption after an Open, and the report follows it.
    QMetaObject::invokeMethod(
        this, [this, reported] { emit PlayStateChange(reported); }, Qt::QueuedConnection);
}

void QtMediaPlayer::onLength()
{
    m_bar->setDuration(milliseconds(lengthInSamples()));
    m_bar->setSeekable(hasMedia());
}

void QtMediaPlayer::showPosition()
{
    m_bar->setPosition(milliseconds(currentSample()));
}

void QtMediaPlayer::refreshStatus()
{
    QString text;
    if (!hasMedia()) {
        text = QStringLiteral("就绪");
    } else {
        switch (m_engine->state()) {
        case PlaybackEngine::State::Playing:
            text = m_engine->soundProblem().isEmpty() ? QStringLiteral("正在播放")
                                                      : m_engine->soundProblem();
            break;
        case PlaybackEngine::State::Paused:
            text = QStringLiteral("已暂停");
            break;
        case PlaybackEngine::State::Stopped:
            text = m_ranOut ? QStringLiteral("播放完毕") : QStringLiteral("已停止");
            break;
        }
    }
    m_bar->setStatusText(text);
}
