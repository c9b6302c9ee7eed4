#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <functional>

class QObject;

// One opened media in the playback back end: a decoder pipeline with an audio output of its own.
// The back end lives in a module loaded on first use, so the window starts without paying for
// Qt Multimedia and the libraries it brings; this header is all the two sides share. It is a
// plain interface with callbacks, not signals, so that no meta-object is needed on both sides.
class PlaybackSession
{
public:
    // Same order as Qt's own playback state and media status.
    enum class State { Stopped, Playing, Paused };
    enum class Status {
        NoMedia,
        Loading,
        Loaded,
        Stalled,
        Buffering,
        Buffered,
        EndOfMedia,
        Invalid
    };

    // Called on the UI thread, from inside the back end's own reports.
    struct Listener
    {
        std::function<void(State)> stateChanged;
        std::function<void(Status)> statusChanged;
        std::function<void()> errorOccurred;
        std::function<void(qint64)> durationChanged; // ms
        std::function<void(qint64)> positionChanged; // ms
        std::function<void(bool)> seekableChanged;
    };

    virtual ~PlaybackSession() = default;

    virtual void setSource(const QUrl &source) = 0;
    virtual QUrl source() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void setPosition(qint64 milliseconds) = 0;
    virtual qint64 position() const = 0;
    virtual State state() const = 0;
    virtual Status status() const = 0;
    virtual void setLoops(int count) = 0;
    virtual void setVolume(float volume) = 0; // 0 … 1
    virtual void setMuted(bool muted) = 0;

    // Stops, stops reporting and goes away at the next turn of the event loop (or with its
    // parent); the pointer must not be used afterwards except to delete it at once.
    virtual void dispose() = 0;
};

// The module's one entry point. The session is a child of parent, so it goes with it at the
// latest.
using CreatePlaybackSession = PlaybackSession *(*)(QObject *parent,
                                                   const PlaybackSession::Listener &listener);
inline constexpr const char *CreatePlaybackSessionSymbol = "velquist_create_playback_session";
