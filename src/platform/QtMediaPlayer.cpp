#include "platform/QtMediaPlayer.h"

#include "core/TimeText.h"
#include "platform/PlayerTransportBar.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QContextMenuEvent>
#include <QFile>
#include <QMediaDevices>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

QUrl sourceFor(const QString &url)
{
    // The window hands in plain paths; a file:// URL is taken as it is.
    if (url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(url);
    return QUrl::fromLocalFile(url);
}

} // namespace

QtMediaPlayer::QtMediaPlayer(QWidget *parent)
    : MediaPlayer(parent), m_bar(new PlayerTransportBar(this)), m_menu(new QMenu(this)),
      m_pauseTimer(new QTimer(this)), m_watchTimer(new QTimer(this))
{
    // Position reports come only every so often; the timer pauses on the millisecond between them.
    m_pauseTimer->setSingleShot(true);
    m_pauseTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pauseTimer, &QTimer::timeout, this, &QtMediaPlayer::onPauseTimer);
    // Runs only while playing, from the player's report of it.
    m_watchTimer->setInterval(250);
    connect(m_watchTimer, &QTimer::timeout, this, &QtMediaPlayer::watchPlayback);

    connect(m_bar, &PlayerTransportBar::playRequested, this, &QtMediaPlayer::play);
    connect(m_bar, &PlayerTransportBar::pauseRequested, this, &QtMediaPlayer::pause);
    connect(m_bar, &PlayerTransportBar::stopRequested, this, &QtMediaPlayer::stop);
    connect(m_bar, &PlayerTransportBar::seekRequested, this, [this](qint64 milliseconds) {
        if (m_player)
            seekTo(milliseconds);
    });
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

QtMediaPlayer::~QtMediaPlayer()
{
    // The pipeline may still report while it is torn down; none of that may reach a half-gone
    // widget.
    if (m_player) {
        QMediaPlayer *old = m_player;
        disposePlayer();
        delete old;
    }
}

void QtMediaPlayer::replacePlayer()
{
    // A fresh player per file: Qt 6.4 keeps one GStreamer pipeline per player, and reports
    // still queued from a file that failed would otherwise land on the next file and stop it;
    // an audio output handed on from a failed pipeline can leave the next one stuck.
    releasePlayer();
    createPlayer();
    m_reopenedAt = -1;
    m_failed = false;
    m_sourcePending = false;
    forgetDuration();
    comeToRest();
}

void QtMediaPlayer::createPlayer()
{
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(m_player);
    // Without any sound device (a headless build machine) QMediaDevices lists no output and
    // GStreamer's autoaudiosink settles on a stand-in sink; no special case is needed here.
    m_player->setAudioOutput(m_audio);
    // Follow the system's default output when devices come and go (a headset plugged in).
    auto *devices = new QMediaDevices(m_player);
    connect(devices, &QMediaDevices::audioOutputsChanged, m_audio,
            [audio = m_audio] { audio->setDevice(QMediaDevices::defaultAudioOutput()); });

    // Queued, so that by the time a stop is reported the player has also said whether the
    // media ran out, and the status word says which of the two it was.
    connect(m_player, &QMediaPlayer::playbackStateChanged, this,
            &QtMediaPlayer::reportPlaybackState, Qt::QueuedConnection);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &QtMediaPlayer::onMediaStatus);
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError)
            onError();
    });
    connect(m_player, &QMediaPlayer::durationChanged, this, &QtMediaPlayer::onDuration);
    connect(m_player, &QMediaPlayer::positionChanged, this, &QtMediaPlayer::onPosition);
    connect(m_player, &QMediaPlayer::seekableChanged, m_bar, &PlayerTransportBar::setSeekable);

    ++m_generation;
    m_audio->setVolume(static_cast<float>(m_volume) / 100.0f);
    m_audio->setMuted(m_muted);
    m_seekOnceKnown = -1;
    forgetStillness();
}

void QtMediaPlayer::releasePlayer()
{
    cancelPauseMark();
    QMediaPlayer *old = m_player;
    if (!old)
        return;
    const bool wasStopped = old->playbackState() == QMediaPlayer::StoppedState;
    disposePlayer();
    if (!wasStopped) {
        QMetaObject::invokeMethod(
            this, [this] { reportPlaybackState(QMediaPlayer::StoppedState); },
            Qt::QueuedConnection);
    }
}

void QtMediaPlayer::disposePlayer()
{
    // Reports still on their way from the pipeline must not reach the next file's player.
    disconnect(m_player, nullptr, this, nullptr);
    disconnect(m_player, nullptr, m_bar, nullptr);
    m_player->stop();
    m_player->setAudioOutput(nullptr);
    m_player->deleteLater();
    m_player = nullptr;
    m_audio = nullptr;
}

void QtMediaPlayer::close()
{
    // The next file gets a player of its own when it is opened.
    releasePlayer();
    m_url.clear();
    m_failed = false;
    forgetDuration();
    comeToRest();
    refreshStatus();
}

void QtMediaPlayer::setURL(const QString &url)
{
    if (url.isEmpty()) {
        close();
        return;
    }
    // Also the file already open gets a fresh player, and so plays from its beginning.
    replacePlayer();
    m_url = url;
    openSource();
    m_player->play();
    refreshStatus();
}

void QtMediaPlayer::openSource()
{
    // Fed from this thread rather than read by GStreamer's own file source: Qt 6.4 ends
    // setSource with a seek that, when the decoder is already running, ends the file at once or
    // dead-locks with it. Fed from here, no data moves until setSource has returned.
    const QUrl source = sourceFor(m_url);
    auto *file = new QFile(source.toLocalFile(), m_player);
    if (file->open(QIODevice::ReadOnly)) {
        m_player->setSourceDevice(file, source);
        return;
    }
    // Qt reports the failure as it does for any file it cannot play.
    delete file;
    m_player->setSource(source);
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
    if (m_audio)
        m_audio->setVolume(static_cast<float>(m_volume) / 100.0f);
    m_bar->setVolume(m_volume);
}

int QtMediaPlayer::volume() const
{
    return m_volume;
}

void QtMediaPlayer::setMute(bool on)
{
    m_muted = on;
    if (m_audio)
        m_audio->setMuted(on);
    m_bar->setMuted(on);
}

bool QtMediaPlayer::mute() const
{
    return m_muted;
}

void QtMediaPlayer::play()
{
    cancelPauseMark();
    if (!hasMedia())
        return;
    if (std::exchange(m_sourcePending, false))
        openSource();
    m_failed = false;
    const bool fromRest = m_player->playbackState() == QMediaPlayer::StoppedState;
    m_player->play();
    // From where a seek put the stopped player; Qt would start from the beginning after a stop.
    if (fromRest && m_restingAt > 0)
        moveTo(m_restingAt);
}

void QtMediaPlayer::pause()
{
    cancelPauseMark();
    if (m_player && m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
}

void QtMediaPlayer::stop()
{
    cancelPauseMark();
    comeToRest();
    // Nothing opened yet: nothing plays, and no pipeline need be built for that.
    if (!m_player || m_player->playbackState() == QMediaPlayer::StoppedState)
        return;
    if (!lengthKnown()) {
        // Qt's stop seeks back to 0 up to the length; not knowing it yet, that seek would leave
        // nothing to play. A fresh player is as good as rewound; it gets the file when it is
        // played, so a stop before a close or another Open costs nothing.
        replacePlayer();
        m_sourcePending = true;
        return;
    }
    m_player->stop();
}

void QtMediaPlayer::comeToRest()
{
    m_restingAt = 0;
    m_bar->setPosition(0);
}

void QtMediaPlayer::seekTo(qint64 milliseconds)
{
    cancelPauseMark();
    milliseconds = std::max<qint64>(0, milliseconds);
    if (m_player->playbackState() == QMediaPlayer::StoppedState) {
        m_restingAt = milliseconds;
        m_bar->setPosition(milliseconds);
    }
    moveTo(milliseconds);
}

bool QtMediaPlayer::lengthKnown() const
{
    return m_player->duration() > 0;
}

// Qt 6.4 seeks from the given place to the file's length as GStreamer knows it. Until GStreamer
// knows it (for a file without a length header, after its first second or so) that span is
// empty and the seek is lost, so it waits for the length.
void QtMediaPlayer::moveTo(qint64 milliseconds)
{
    forgetStillness(); // playback starts over there
    if (!lengthKnown()) {
        m_seekOnceKnown = milliseconds;
        return;
    }
    m_seekOnceKnown = -1;
    m_player->setPosition(milliseconds);
}

// The one position that the knob, the time text, the marks and playback share: a stopped
// player stands at 0 after a stop or the end, whatever Qt reports, or where a seek put it.
qint64 QtMediaPlayer::position() const
{
    if (!hasMedia())
        return 0;
    if (m_player->playbackState() == QMediaPlayer::StoppedState)
        return m_restingAt;
    // Until a waiting seek is made, Qt reports where playback was; the user already put it here.
    if (m_seekOnceKnown >= 0)
        return m_seekOnceKnown;
    return std::max<qint64>(0, m_player->position());
}

QString QtMediaPlayer::currentPositionString() const
{
    // Nothing to show at rest at the beginning: the window then writes 00:00.
    if (!hasMedia() ||
        (m_player->playbackState() == QMediaPlayer::StoppedState && m_restingAt == 0))
        return {};
    return TimeText::fromMilliseconds(position());
}

double QtMediaPlayer::currentPosition() const
{
    return static_cast<double>(position()) / 1000.0;
}

void QtMediaPlayer::setCurrentPosition(double seconds)
{
    if (!hasMedia())
        return;
    seekTo(std::llround(seconds * 1000.0));
}

void QtMediaPlayer::pauseAt(double seconds)
{
    cancelPauseMark();
    if (!hasMedia() || !(seconds >= 0))
        return;
    m_pauseAt = std::llround(seconds * 1000.0);
    // Reports of the position from before a seek may still be on their way; the mark counts
    // once playback has been seen before it.
    m_pauseArmed = position() < m_pauseAt;
}

void QtMediaPlayer::cancelPauseAt()
{
    cancelPauseMark();
}

void QtMediaPlayer::onPosition(qint64 milliseconds)
{
    // At rest the knob shows the resting place, not what Qt reports while it stops.
    m_bar->setPosition(position());
    if (m_pauseAt < 0 || !m_player || m_player->playbackState() != QMediaPlayer::PlayingState ||
        m_seekOnceKnown >= 0)
        return;
    if (milliseconds < m_pauseAt) {
        m_pauseArmed = true;
        m_pauseTimer->start(static_cast<int>(m_pauseAt - milliseconds));
    } else if (m_pauseArmed) {
        cancelPauseMark();
        pause();
    }
}

void QtMediaPlayer::onPauseTimer()
{
    // The timer runs on wall time, playback does not: right after a seek Qt reports the target
    // before playback is there, and a starved pipeline falls behind. So the timer asks where
    // playback stands and waits out the rest. (Playback that stalls is reopened by
    // watchPlayback, and the mark still holds.)
    constexpr qint64 lookAgainAfter = 100; // ms
    if (m_seekOnceKnown >= 0)
        return; // the position report after the seek sets the timer again
    const qint64 left = m_pauseAt - m_player->position();
    if (left <= 10) {
        pause();
        return;
    }
    m_pauseTimer->start(static_cast<int>(std::min(left, lookAgainAfter)));
}

// Playback can stand still for good while the player says it plays: libpulse 16's stream clock
// can freeze after a seek (PulseClockGuard.cpp guards it), and a sound server that stops
// answering stands still for as long. A fresh player has a fresh stream, so
// playback that stands still is reopened where it stands: after a second once it has run, or
// after a few seconds if it has not (a new stream may stand at its first report for a second or
// two before it runs).
void QtMediaPlayer::watchPlayback()
{
    constexpr qint64 stalledAfter = 1000;    // ms, once playback has moved on twice
    constexpr qint64 notStartedAfter = 4000; // ms, before that
    if (!m_player || m_player->playbackState() != QMediaPlayer::PlayingState ||
        m_player->mediaStatus() != QMediaPlayer::BufferedMedia) {
        forgetStillness();
        if (!m_player || m_player->playbackState() != QMediaPlayer::PlayingState)
            m_watchTimer->stop();
        return;
    }
    const qint64 at = m_player->position();
    if (at != m_stillAt) {
        if (m_stillAt >= 0)
            ++m_moves;
        m_stillAt = at;
        m_still.start();
    } else if (m_still.elapsed() >= (m_moves >= 2 ? stalledAfter : notStartedAfter)) {
        reopenAt(position()); // while a seek waits, at the place the user chose
    }
}

void QtMediaPlayer::forgetStillness()
{
    m_stillAt = -1;
    m_moves = 0;
}

void QtMediaPlayer::reopenAt(qint64 milliseconds)
{
    // A file that stands still again at the same place would only be reopened over and over.
    if (std::exchange(m_reopenedAt, milliseconds) == milliseconds)
        return;
    qInfo("Playback stood still at %lld ms; the file is reopened there.",
          static_cast<long long>(milliseconds));
    // To the window playback goes on: no stop is reported, and the length, the pause mark and
    // the position stay as they are.
    disposePlayer();
    createPlayer();
    moveTo(milliseconds); // waits for the new player to learn the length
    openSource();
    m_player->play();
}

void QtMediaPlayer::cancelPauseMark()
{
    m_pauseAt = -1;
    m_pauseArmed = false;
    m_pauseTimer->stop();
}

qint32 QtMediaPlayer::playState() const
{
    if (!m_player)
        return Stopped;
    switch (m_player->playbackState()) {
    case QMediaPlayer::PlayingState:
        return Playing;
    case QMediaPlayer::PausedState:
        return Paused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return Stopped;
}

QString QtMediaPlayer::durationString() const
{
    return TimeText::fromMilliseconds(hasMedia() ? m_duration : 0);
}

double QtMediaPlayer::duration() const
{
    return hasMedia() ? static_cast<double>(m_duration) / 1000.0 : 0.0;
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
    const QMediaPlayer::PlaybackState state =
        m_player ? m_player->playbackState() : QMediaPlayer::StoppedState;
    const QList<QAction *> actions = m_menu->actions();
    actions.at(0)->setEnabled(hasMedia() && state != QMediaPlayer::PlayingState);
    actions.at(1)->setEnabled(state == QMediaPlayer::PlayingState);
    actions.at(2)->setEnabled(state != QMediaPlayer::StoppedState);
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

void QtMediaPlayer::reportPlaybackState(QMediaPlayer::PlaybackState state)
{
    m_bar->setPlaying(state == QMediaPlayer::PlayingState);
    refreshStatus();
    switch (state) {
    case QMediaPlayer::StoppedState:
        comeToRest();
        emit PlayStateChange(Stopped);
        break;
    case QMediaPlayer::PausedState:
        emit PlayStateChange(Paused);
        break;
    case QMediaPlayer::PlayingState:
        m_watchTimer->start();
        emit PlayStateChange(Playing);
        break;
    }
}

void QtMediaPlayer::onDuration(qint64 milliseconds)
{
    // Qt 6.4 reports a length of 0 once stopped; the file has not got shorter, so keep what
    // was learnt until another file is opened.
    if (milliseconds <= 0)
        return;
    m_duration = milliseconds;
    m_bar->setDuration(milliseconds);
    if (m_seekOnceKnown >= 0)
        moveTo(m_seekOnceKnown);
}

void QtMediaPlayer::forgetDuration()
{
    m_duration = 0;
    m_bar->setDuration(0);
}

void QtMediaPlayer::onMediaStatus(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::InvalidMedia)
        m_failed = true;
    refreshStatus();
}

void QtMediaPlayer::onError()
{
    m_failed = true;
    refreshStatus();
    // Qt 6.4 leaves the player "playing" a file it could not open; stop it so the window hears
    // a stop. Deferred: this runs inside the player's own report.
    QMetaObject::invokeMethod(
        this,
        [this, failing = m_generation] {
            if (failing == m_generation && m_player && m_failed &&
                m_player->playbackState() != QMediaPlayer::StoppedState)
                m_player->stop();
        },
        Qt::QueuedConnection);
}

void QtMediaPlayer::refreshStatus()
{
    QString text;
    if (!hasMedia()) {
        text = QStringLiteral("就绪");
    } else if (m_failed) {
        text = QStringLiteral("无法播放");
    } else {
        switch (m_player->playbackState()) {
        case QMediaPlayer::PlayingState:
            text = m_player->mediaStatus() == QMediaPlayer::LoadingMedia
                       ? QStringLiteral("正在打开")
                       : QStringLiteral("正在播放");
            break;
        case QMediaPlayer::PausedState:
            text = QStringLiteral("已暂停");
            break;
        case QMediaPlayer::StoppedState:
            text = m_player->mediaStatus() == QMediaPlayer::EndOfMedia ? QStringLiteral("播放完毕")
                                                                       : QStringLiteral("已停止");
            break;
        }
    }
    m_bar->setStatusText(text);
}

bool QtMediaPlayer::hasMedia() const
{
    return m_player && !m_url.isEmpty();
}
