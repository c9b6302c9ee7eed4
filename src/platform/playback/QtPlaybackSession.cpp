// The playback back end over Qt Multimedia (GStreamer), built as a module of its own and loaded
// by the player on first use.
#include "platform/PlaybackSession.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QObject>

namespace {

class QtPlaybackSession : public QObject, public PlaybackSession
{
public:
    QtPlaybackSession(QObject *parent, const Listener &listener)
        : QObject(parent), m_listener(listener), m_player(new QMediaPlayer(this)),
          m_audio(new QAudioOutput(this))
    {
        // Without any sound device (a headless build machine) QMediaDevices lists no output and
        // GStreamer's autoaudiosink settles on a clock-synchronised fake sink, so playback still
        // runs in real time; no special case is needed here.
        m_player->setAudioOutput(m_audio);
        // Follow the system's default output when devices come and go (a headset plugged in).
        auto *devices = new QMediaDevices(this);
        connect(devices, &QMediaDevices::audioOutputsChanged, this,
                [this] { m_audio->setDevice(QMediaDevices::defaultAudioOutput()); });

        connect(m_player, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) {
                    m_listener.stateChanged(static_cast<State>(state));
                });
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) {
                    m_listener.statusChanged(static_cast<Status>(status));
                });
        connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
            if (error != QMediaPlayer::NoError)
                m_listener.errorOccurred();
        });
        connect(m_player, &QMediaPlayer::durationChanged, this,
                [this](qint64 ms) { m_listener.durationChanged(ms); });
        connect(m_player, &QMediaPlayer::positionChanged, this,
                [this](qint64 ms) { m_listener.positionChanged(ms); });
        connect(m_player, &QMediaPlayer::seekableChanged, this,
                [this](bool seekable) { m_listener.seekableChanged(seekable); });
    }

    void setSource(const QUrl &source) override { m_player->setSource(source); }
    QUrl source() const override { return m_player->source(); }
    void play() override { m_player->play(); }
    void pause() override { m_player->pause(); }
    void stop() override { m_player->stop(); }
    void setPosition(qint64 milliseconds) override { m_player->setPosition(milliseconds); }
    qint64 position() const override { return m_player->position(); }
    State state() const override { return static_cast<State>(m_player->playbackState()); }
    Status status() const override { return static_cast<Status>(m_player->mediaStatus()); }
    void setLoops(int count) override { m_player->setLoops(count); }
    void setVolume(float volume) override { m_audio->setVolume(volume); }
    void setMuted(bool muted) override { m_audio->setMuted(muted); }

    void dispose() override
    {
        // Reports still on their way from the pipeline must not reach the next file's player.
        disconnect(m_player, nullptr, this, nullptr);
        m_player->stop();
        m_player->setAudioOutput(nullptr);
        deleteLater();
    }

private:
    Listener m_listener;
    QMediaPlayer *m_player;
    QAudioOutput *m_audio;
};

} // namespace

extern "C" Q_DECL_EXPORT PlaybackSession *
velquist_create_playback_session(QObject *parent, const PlaybackSession::Listener &listener)
{
    return new QtPlaybackSession(parent, listener);
}
