#include "platform/QtMediaPlayer.h"

#include "platform/PlayerTransportBar.h"
#include "platform/TimeText.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QContextMenuEvent>
#include <QMediaDevices>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <cmath>

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
    : MediaPlayer(parent), m_bar(new PlayerTransportBar(this)), m_menu(new QMenu(this))
{
    connect(m_bar, &PlayerTransportBar::playRequested, this, &QtMediaPlayer::play);
    connect(m_bar, &PlayerTransportBar::pauseRequested, this, &QtMediaPlayer::pause);
    connect(m_bar, &PlayerTransportBar::stopRequested, this, &QtMediaPlayer::stop);
    connect(m_bar, &PlayerTransportBar::seekRequested, this,
            [this](qint64 milliseconds) { backend()->setPosition(milliseconds); });
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

QMediaPlayer *QtMediaPlayer::backend() const
{
    // Made on first use: loading the multimedia back end and GStreamer's plug-ins costs more than
    // the rest of start-up together, and the window must show before any file is opened.
    if (!m_player)
        const_cast<QtMediaPlayer *>(this)->createBackend();
    return m_player;
}

QAudioOutput *QtMediaPlayer::audio() const
{
    backend();
    return m_audio;
}

void QtMediaPlayer::createBackend()
{
    // Without any sound device (a headless build machine) QMediaDevices lists no output and the
    // GStreamer backend's autoaudiosink settles on a clock-synchronised fake sink, so playback
    // still runs in real time; no special case is needed here.
    // Follow the system's default output when devices come and go (a headset plugged in).
    auto *devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this,
            [this] { m_audio->setDevice(QMediaDevices::defaultAudioOutput()); });
    replacePlayer();
}

void QtMediaPlayer::replaceAudioOutput()
{
    // Each player gets an output of its own: handing one output from a pipeline that failed to
    // the next one can leave its sink stuck, and the next file then never starts.
    float volume = static_cast<float>(InitialVolume) / 100.0f;
    bool muted = false;
    if (QAudioOutput *old = m_audio) {
        volume = old->volume();
        muted = old->isMuted();
        disconnect(old, nullptr, m_bar, nullptr);
        old->deleteLater();
    }
    m_audio = new QAudioOutput(this);
    m_audio->setVolume(volume);
    m_audio->setMuted(muted);
    connect(m_audio, &QAudioOutput::volumeChanged, m_bar,
            [this](float level) { m_bar->setVolume(qRound(level * 100.0f)); });
    connect(m_audio, &QAudioOutput::mutedChanged, m_bar, &PlayerTransportBar::setMuted);
}

QtMediaPlayer::~QtMediaPlayer()
{
    // The pipeline may still report while it is torn down; none of that may reach a half-gone
    // widget.
    if (!m_player)
        return;
    disconnect(m_player, nullptr, this, nullptr);
    disconnect(m_player, nullptr, m_bar, nullptr);
    disconnect(m_audio, nullptr, m_bar, nullptr);
    delete m_player;
    m_player = nullptr;
}

void QtMediaPlayer::replacePlayer()
{
    // A fresh QMediaPlayer per file: Qt 6.4 keeps one GStreamer pipeline per player, and reports
    // still queued from a file that failed would otherwise land on the next file and stop it.
    if (QMediaPlayer *old = m_player) {
        const bool wasStopped = old->playbackState() == QMediaPlayer::StoppedState;
        disconnect(old, nullptr, this, nullptr);
        disconnect(old, nullptr, m_bar, nullptr);
        old->stop();
        old->setAudioOutput(nullptr);
        old->deleteLater();
        if (!wasStopped) {
            QMetaObject::invokeMethod(
                this, [this] { reportPlaybackState(QMediaPlayer::StoppedState); },
                Qt::QueuedConnection);
        }
    }

    replaceAudioOutput();
    m_player = new QMediaPlayer(this);
    m_player->setAudioOutput(m_audio);
    m_player->setLoops(m_playCount);
    // Queued, so that by the time a stop is reported the player has also said whether the
    // media ran out; the window hears "ended" before "stopped".
    connect(m_player, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) {
                QMetaObject::invokeMethod(
                    this, [this, state] { reportPlaybackState(state); }, Qt::QueuedConnection);
            });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &QtMediaPlayer::onMediaStatus);
    connect(m_player, &QMediaPlayer::errorOccurred, this, &QtMediaPlayer::onError);
    connect(m_player, &QMediaPlayer::durationChanged, this, &QtMediaPlayer::onDuration);
    connect(m_player, &QMediaPlayer::positionChanged, m_bar, &PlayerTransportBar::setPosition);
    connect(m_player, &QMediaPlayer::seekableChanged, m_bar, &PlayerTransportBar::setSeekable);
    m_failed = false;
    forgetDuration();
    m_bar->setPosition(0);
}

void QtMediaPlayer::close()
{
    if (!m_player) {
        // Nothing was ever opened, so there is no player to start afresh.
        m_url.clear();
        refreshStatus();
        return;
    }
    replacePlayer();
    m_url.clear();
    refreshStatus();
}

void QtMediaPlayer::setURL(const QString &url)
{
    if (url.isEmpty()) {
        close();
        return;
    }
    const QUrl source = sourceFor(url);
    m_url = url;
    // Opening the file already open means "from the top", unless it failed: then start afresh,
    // it may have been put right since.
    if (m_player && m_player->source() == source && !m_failed) {
        m_player->setPosition(0);
    } else {
        if (m_player)
            replacePlayer();
        else
            createBackend();
        m_player->setSource(source);
    }
    if (m_autoStart)
        backend()->play();
    refreshStatus();
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
    audio()->setVolume(static_cast<float>(std::clamp(percent, 0, 100)) / 100.0f);
}

int QtMediaPlayer::volume() const
{
    return qRound(audio()->volume() * 100.0f);
}

void QtMediaPlayer::setMute(bool on)
{
    audio()->setMuted(on);
}

bool QtMediaPlayer::mute() const
{
    return audio()->isMuted();
}

void QtMediaPlayer::setPlayCount(int count)
{
    m_playCount = std::max(1, count);
    backend()->setLoops(m_playCount);
}

void QtMediaPlayer::play()
{
    if (!hasMedia())
        return;
    m_failed = false;
    backend()->play();
}

void QtMediaPlayer::pause()
{
    if (backend()->playbackState() == QMediaPlayer::PlayingState)
        backend()->pause();
}

void QtMediaPlayer::stop()
{
    backend()->stop();
}

QString QtMediaPlayer::currentPositionString() const
{
    if (!hasMedia() || backend()->playbackState() == QMediaPlayer::StoppedState)
        return {};
    return TimeText::fromMilliseconds(backend()->position());
}

double QtMediaPlayer::currentPosition() const
{
    return hasMedia() ? static_cast<double>(std::max<qint64>(0, backend()->position())) / 1000.0
                      : 0.0;
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
    const auto state = backend()->playbackState();
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
        if (backend()->mediaStatus() == QMediaPlayer::EndOfMedia)
            emit PlayStateChange(MediaEnded);
        emit PlayStateChange(Stopped);
        break;
    case QMediaPlayer::PausedState:
        emit PlayStateChange(Paused);
        break;
    case QMediaPlayer::PlayingState:
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

void QtMediaPlayer::onError(QMediaPlayer::Error error)
{
    if (error == QMediaPlayer::NoError)
        return;
    m_failed = true;
    refreshStatus();
    // Qt 6.4 leaves the player "playing" a file it could not open; stop it so the window hears
    // a stop. Deferred: this runs inside the backend's own report.
    QMetaObject::invokeMethod(
        this,
        [this, failing = QPointer<QMediaPlayer>(m_player)] {
            if (failing && failing == m_player && m_failed &&
                failing->playbackState() != QMediaPlayer::StoppedState)
                backend()->stop();
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
        switch (backend()->playbackState()) {
        case QMediaPlayer::PlayingState:
            text = backend()->mediaStatus() == QMediaPlayer::LoadingMedia
                       ? QStringLiteral("正在打开")
                       : QStringLiteral("正在播放");
            break;
        case QMediaPlayer::PausedState:
            text = QStringLiteral("已暂停");
            break;
        case QMediaPlayer::StoppedState:
            text = backend()->mediaStatus() == QMediaPlayer::EndOfMedia ? QStringLiteral("播放完毕")
                                                                        : QStringLiteral("已停止");
            break;
        }
    }
    m_bar->setStatusText(text);
}

bool QtMediaPlayer::hasMedia() const
{
    return m_player && !m_player->source().isEmpty();
}
