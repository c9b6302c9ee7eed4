#pragma once

// Test doubles for the platform services, so the main window's commands run without real
// dialogs, message boxes or audio.

#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureLoader.h"
#include "platform/Platform.h"

#include <QImageReader>
#include <QStringList>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

// No Q_OBJECT: it adds no signals and emits the interface's own.
class FakeMediaPlayer : public MediaPlayer, public MediaControls, public MediaItem
{
public:
    using MediaPlayer::MediaPlayer;

    // What the test makes the player answer.
    double position = 0;
    double length = 0;
    QString positionText;
    QString durationText = QStringLiteral("00:00");
    qint32 state = Stopped;
    bool broken = false;
    bool undecodable = false; // setURL refuses every file
    static constexpr int Rate = 44100;
    // The second at which playback would pause, as the contract keeps it; -1 = none.
    double pausesAt = -1;

    // What the window did to it.
    QStringList calls;
    std::vector<std::shared_ptr<const Mp3Analysis>> frameMaps;
    QString url;
    bool fullScreen = true, stretchToFit = true, contextMenu = true;
    QString uiMode = QStringLiteral("mini");

    MediaControls &controls() override
    {
        check();
        return *this;
    }
    MediaItem &currentMedia() override
    {
        check();
        return *this;
    }
    void close() override
    {
        calls << QStringLiteral("close");
        pausesAt = -1;
    }
    void setURL(const QString &value) override
    {
        if (undecodable)
            throw PlayerError("“" + value.toStdString() + "”不是可以播放的 MP3 文件。");
        calls << QStringLiteral("URL");
        url = value;
        pausesAt = -1;
    }
    QString URL() const override { return url; }
    qint32 playState() const override { return state; }
    void setFullScreen(bool on) override { fullScreen = on; }
    void setStretchToFit(bool on) override { stretchToFit = on; }
    void setUiMode(const QString &mode) override { uiMode = mode; }
    void setEnableContextMenu(bool on) override { contextMenu = on; }

    void stop() override
    {
        calls << QStringLiteral("stop");
        pausesAt = -1;
    }
    QString currentPositionString() const override { return positionText; }
    double currentPosition() const override { return position; }
    void play() override
    {
        calls << QStringLiteral("play");
        pausesAt = -1;
    }
    void pause() override
    {
        calls << QStringLiteral("pause");
        pausesAt = -1;
    }
    void setCurrentPosition(double seconds) override
    {
        calls << QStringLiteral("seek %1").arg(seconds, 0, 'f', 3);
        position = seconds;
        pausesAt = -1;
        emit positionJumped();
    }
    void pauseAt(double seconds) override
    {
        calls << QStringLiteral("pauseAt %1").arg(seconds, 0, 'f', 3);
        pausesAt = seconds;
    }
    void cancelPauseAt() override { pausesAt = -1; }
    qint64 currentSample() const override { return std::llround(position * Rate); }
    QString durationString() const override { return durationText; }
    double duration() const override { return length; }
    qint64 lengthInSamples() const override { return std::llround(length * Rate); }
    int sampleRate() const override { return Rate; }
    void setFrameMap(std::shared_ptr<const Mp3Analysis> frames) override
    {
        frameMaps.push_back(std::move(frames));
    }

    void report(qint32 state) { emit PlayStateChange(state); }

private:
    void check() const
    {
        if (broken)
            throw PlayerError("播放器不可用。");
    }
};

// Answers each Show* with the next scripted name ("" = cancelled).
class FakeFileDialog : public FileDialog
{
public:
    QStringList answers;
    int shown = 0;
    std::function<void()> whileShown;

    void ShowOpen(QWidget *) override { answer(); }
    void ShowSave(QWidget *) override { answer(); }

private:
    void answer()
    {
        ++shown;
        if (whileShown)
            whileShown();
        m_fileName = answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

class RecordingMessageBoxes : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
    };
    std::vector<Shown> shown;
    // Questions asked, and the answer the test gives to them.
    QStringList asked;
    bool answer = false;

    void show(QWidget *, const QString &text, const QString &title, Icon icon) override
    {
        shown.push_back({text, title, icon});
    }
    bool ask(QWidget *, const QString &text, const QString &) override
    {
        asked << text;
        return answer;
    }
};

class FilePictureLoader : public PictureLoader
{
public:
    int loads = 0;
    QPixmap LoadPicture(const QString &path) override
    {
        ++loads;
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            throw PictureError("cannot load " + path.toStdString());
        return QPixmap::fromImage(image);
    }
};

// A platform of doubles; the pointers stay valid while the window owns them.
struct FakePlatform
{
    FakeMediaPlayer *player = new FakeMediaPlayer;
    FakeFileDialog *open = new FakeFileDialog;
    FakeFileDialog *save = new FakeFileDialog;
    RecordingMessageBoxes *messages = new RecordingMessageBoxes;
    FilePictureLoader *pictures = new FilePictureLoader;

    FakePlatform() = default;
    FakePlatform(const FakePlatform &) = delete;
    FakePlatform &operator=(const FakePlatform &) = delete;
    // A test that builds its window on other services never hands these over.
    ~FakePlatform()
    {
        if (m_taken)
            return;
        delete player;
        delete open;
        delete save;
        delete messages;
        delete pictures;
    }

    Platform take(const QString &programFolder = QString())
    {
        m_taken = true;
        Platform platform;
        platform.player = player;
        platform.openDialog.reset(open);
        platform.saveDialog.reset(save);
        platform.messages.reset(messages);
        platform.pictures.reset(pictures);
        platform.programFolder = programFolder;
        return platform;
    }

private:
    bool m_taken = false;
};
