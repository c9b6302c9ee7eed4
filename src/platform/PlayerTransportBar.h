#pragma once

#include <QString>
#include <QWidget>

class QAbstractButton;
class QAbstractSlider;
class BarButton;
class BarSlider;

// The player's own control strip, drawn dark to sit inside the skinned main window. It holds no
// player: it only says what the user wants (signals) and shows what it is told (slots).
// Layout at the stock 385 x 49: seek bar across the top; play/pause and stop at the left of the
// second row, a status word after them, mute and volume at the right edge. The middle of the
// second row stays empty because the window writes its own time text there.
class PlayerTransportBar : public QWidget
{
    Q_OBJECT

public:
    explicit PlayerTransportBar(QWidget *parent = nullptr);

    // A reduced strip: seek bar, play/pause and stop only.
    void setCompact(bool on);

    bool isPlaying() const { return m_playing; }
    QString statusText() const { return m_status; }

    QAbstractButton *playPauseButton() const;
    QAbstractButton *stopButton() const;
    QAbstractButton *muteButton() const;
    QAbstractSlider *seekSlider() const;
    QAbstractSlider *volumeSlider() const;

    QSize sizeHint() const override;

signals:
    void playRequested();
    void pauseRequested();
    void stopRequested();
    void seekRequested(qint64 milliseconds);
    void volumeRequested(int percent);
    void muteRequested(bool muted);

public slots:
    void setPlaying(bool playing);
    void setDuration(qint64 milliseconds);
    // Ignored while the user holds the seek handle, so a drag is not pulled back.
    void setPosition(qint64 milliseconds);
    void setSeekable(bool seekable);
    void setVolume(int percent);
    void setMuted(bool muted);
    void setStatusText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();

    BarButton *m_playPause = nullptr;
    BarButton *m_stop = nullptr;
    BarButton *m_mute = nullptr;
    BarSlider *m_seek = nullptr;
    BarSlider *m_volume = nullptr;
    QString m_status;
    bool m_playing = false;
    bool m_compact = false;
    bool m_hours = false; // the media lasts an hour or more
};
