#pragma once

#include "platform/MediaPlayer.h"
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QString>

class QAudioOutput;
class QMenu;
class QTimer;
class PlayerTransportBar;

// The embedded player: Qt's QMediaPlayer with an audio output, made when a file is opened, and our
// own transport bar. It opens local files only and never shows a dialog of its own; a
// file it cannot play just stops, with a word in the bar's status area.
class QtMediaPlayer : public MediaPlayer, private MediaControls, private MediaItem
{
    Q_OBJECT

public:
    explicit QtMediaPlayer(QWidget *parent = nullptr);
    ~QtMediaPlayer() override;

    MediaControls &controls() override { return *this; }
    MediaItem &currentMedia() override { return *this; }
    void close() override;
    void setURL(const QString &url) override;
    QString URL() const override { return m_url; }
    qint32 playState() const override;

    // Sound only: no picture to fill the screen or to stretch.
    void setFullScreen(bool) override {}
    void setStretchToFit(bool) override {}
    // "full", "mini", or "none"/"invisible" (no bar); other words change nothing.
    void setUiMode(const QString &mode) override;
    QString uiMode() const { return m_uiMode; }
    void setEnableContextMenu(bool on) override { m_contextMenuEnabled = on; }
    bool enableContextMenu() const { return m_contextMenuEnabled; }

    // 0 … 100.
    void setVolume(int percent);
    int volume() const;
    void setMute(bool on);
    bool mute() const;

    void play() override;
    void pause() override;

    PlayerTransportBar *transportBar() const { return m_bar; }
    QMenu *contextMenu() const { return m_menu; }

    // MediaControls
    void stop() override;
    QString currentPositionString() const override;
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    void pauseAt(double seconds) override;
    void cancelPauseAt() override;

    // MediaItem
    QString durationString() const override;
    double duration() const override;

    QSize sizeHint() const override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    static constexpr int InitialVolume = 50;

    // A fresh player for the next file.
    void replacePlayer();
    // A new QMediaPlayer with its audio output, connected; no file yet.
    void createPlayer();
    // Hands the player the file at m_url.
    void openSource();
    // Lets the player go; a window still hearing it play is told it stopped.
    void releasePlayer();
    // Cuts the player off from us and lets it go at the next turn of the event loop.
    void disposePlayer();
    void reportPlaybackState(QMediaPlayer::PlaybackState state);
    void onDuration(qint64 milliseconds);
    void forgetDuration();
    void onMediaStatus(QMediaPlayer::MediaStatus status);
    void onError();
    void refreshStatus();
    bool hasMedia() const;
    qint64 position() const;
    void seekTo(qint64 milliseconds);
    void moveTo(qint64 milliseconds);
    bool lengthKnown() const;
    // Stopped: back to the beginning, the knob too.
    void comeToRest();
    void onPosition(qint64 milliseconds);
    void cancelPauseMark();
    void onPauseTimer();
    void watchPlayback();
    void reopenAt(qint64 milliseconds);
    void forgetStillness();

    QMediaPlayer *m_player = nullptr; // with its audio output as a child
    QAudioOutput *m_audio = nullptr;
    int m_generation = 0; // counts players, so late work for an old one can tell
    int m_volume = InitialVolume;
    bool m_muted = false;
    PlayerTransportBar *m_bar = nullptr;
    QMenu *m_menu = nullptr;
    QString m_url;
    qint64 m_duration = 0;       // ms, of the open file; 0 while unknown
    qint64 m_restingAt = 0;      // ms, where the player stands while stopped
    qint64 m_seekOnceKnown = -1; // ms; a seek waiting for GStreamer to know the length, or -1
    QString m_uiMode = QStringLiteral("full");
    bool m_contextMenuEnabled = true;
    bool m_failed = false;
    bool m_sourcePending = false; // the player gets the file at m_url when it is next played
    qint64 m_pauseAt = -1;        // ms; -1 = no pause mark
    bool m_pauseArmed = false;    // playback was seen before the mark since it was set
    QTimer *m_pauseTimer = nullptr;
    QTimer *m_watchTimer = nullptr;
    qint64 m_stillAt = -1;    // ms; where playing playback stood when last watched
    int m_moves = 0;          // how often it had moved on since it last started
    qint64 m_reopenedAt = -1; // ms; where this file was last reopened after a stall
    QElapsedTimer m_still;    // since when it has stood there
};
