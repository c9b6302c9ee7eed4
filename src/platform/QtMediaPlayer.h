#pragma once

#include "platform/MediaPlayer.h"
#include "sound/PlaybackEngine.h"

#include <QString>

#include <memory>

class QMenu;
class QTimer;
class PlayerTransportBar;
class QtSoundOutput;

// The embedded player: the program's own engine (libmpg123 into a QAudioSink) and our own
// transport bar. It opens local files only and never shows a dialog of its own; a file it
// cannot decode is refused at once, and missing sound is told in the bar's status area.
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
    void setFrameMap(std::shared_ptr<const Mp3Analysis> frames) override;

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
    int volume() const { return m_volume; }
    void setMute(bool on);
    bool mute() const { return m_muted; }

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
    qint64 currentSample() const override;

    // MediaItem
    QString durationString() const override;
    double duration() const override;
    qint64 lengthInSamples() const override;
    int sampleRate() const override;

    QSize sizeHint() const override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    static constexpr int InitialVolume = 50;

    // Made with the first file, so that start-up opens no sound.
    PlaybackEngine &engine();
    bool hasMedia() const;
    qint64 milliseconds(qint64 frames) const;
    void seekTo(qint64 milliseconds);
    void applyVolume();
    void onState(PlaybackEngine::State state, bool ranOut);
    void onLength();
    void showPosition();
    void refreshStatus();

    std::unique_ptr<QtSoundOutput> m_output;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<PlaybackEngine> m_engine;
    int m_volume = InitialVolume;
    bool m_muted = false;
    PlayerTransportBar *m_bar = nullptr;
    QMenu *m_menu = nullptr;
    QTimer *m_knobTimer = nullptr;
    QString m_url;
    bool m_ranOut = false;
    QString m_uiMode = QStringLiteral("full");
    bool m_contextMenuEnabled = true;
};
