#pragma once

#include <QString>
#include <QWidget>

#include <memory>
#include <stdexcept>

class Mp3Analysis;

// The player could not answer (no media, no controls); what() says so in words for the user.
class PlayerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Transport side of the player: what the window asks about the position.
class MediaControls
{
public:
    virtual ~MediaControls() = default;
    virtual void stop() = 0;
    // "mm:ss" of the playback position; empty when there is no position to show.
    virtual QString currentPositionString() const = 0;
    // Playback position in seconds, from 0 to the length: 0 after a stop or the end, where a
    // seek put it, stopped or not. The bar's knob and the position text show the same.
    virtual double currentPosition() const = 0;

    // For the window's keys. Nothing happens while no media is open.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void setCurrentPosition(double seconds) = 0;
    // Pauses once playback reaches the given second; play, pause, stop, a seek or another file
    // call it off, so it is set after them.
    virtual void pauseAt(double seconds) = 0;
    virtual void cancelPauseAt() = 0;

    // The position as a sample of the file's gapless decode: the timeline that the marks and the
    // cut share; seconds are a view of it.
    virtual qint64 currentSample() const = 0;
};

// The media the player holds.
class MediaItem
{
public:
    virtual ~MediaItem() = default;
    // "mm:ss" of the length; answers also when no media is open.
    virtual QString durationString() const = 0;
    // Length in seconds; 0 while unknown.
    virtual double duration() const = 0;
    // The same in samples, and the samples per second; 0 while nothing is open.
    virtual qint64 lengthInSamples() const = 0;
    virtual int sampleRate() const = 0;
};

// The embedded player: draws its own transport controls and plays what URL names.
class MediaPlayer : public QWidget
{
    Q_OBJECT

public:
    enum PlayState : qint32 { Stopped = 1, Paused = 2, Playing = 3 };

    using QWidget::QWidget;

    virtual MediaControls &controls() = 0;
    virtual MediaItem &currentMedia() = 0;
    // Releases the media; nothing plays afterwards.
    virtual void close() = 0;
    // Opens the file and plays it from its beginning. Throws PlayerError, with nothing changed,
    // for a file the player cannot decode.
    virtual void setURL(const QString &url) = 0;
    virtual QString URL() const = 0;
    // Stopped, Paused or Playing, as PlayStateChange last reported or is about to.
    virtual qint32 playState() const = 0;
    // The map of the open file's MPEG frames, once made: the exact length and where seeks land.
    // Until then the length is an estimate.
    virtual void setFrameMap(std::shared_ptr<const Mp3Analysis> frames) = 0;

    virtual void setFullScreen(bool on) = 0;
    virtual void setStretchToFit(bool on) = 0;
    virtual void setUiMode(const QString &mode) = 0;
    virtual void setEnableContextMenu(bool on) = 0;

signals:
    // 1 stopped, 2 paused, 3 playing; other values may come and are ignored by the window.
    void PlayStateChange(qint32 NewState);
    // A seek moved the position; the window's time text follows at once, not at its next tick.
    void positionJumped();
};
