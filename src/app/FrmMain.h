#pragma once

#include "app/CutState.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3PieceHeader.h"
#include "platform/Platform.h"
#include "ui/MainWindowSkin.h"

#include <QFuture>
#include <QPixmap>
#include <QSet>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class frmAbout;

// The working window: opens an MP3, follows its playback, marks a byte range on the track bar
// and saves that range as a new file.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(Platform platform, QWidget *parent = nullptr);
    ~FrmMain() override;

    const CutState &cutState() const { return m_cut; }
    const MainWindowSkin &skin() const { return m_skin; }
    FileDialog &CmDialog() { return *m_platform.openDialog; }
    FileDialog &CmDialgS() { return *m_platform.saveDialog; }
    frmAbout *aboutDialog() const { return m_about.get(); }

    // The commands, as the buttons and their captions run them; a failure is reported in a
    // message box and leaves the state as the steps before it left it.
    void ImgOpenFile_Click();
    void ImgKaishi_Click();
    void ImgJiesu_Click();
    void ImgMowei_Click();
    void ImgSave_Click();
    void ImgGuanyu_Click();
    // Opens the named file as the Open command opens a chosen one (a file named at start-up, a
    // dropped file); a name that cannot be read is reported and changes nothing.
    void openFileNamed(const QString &path);
    // Commands of keys only: Space and P.
    void playOrPause();
    void listenToCut();

    // The clock and the player's notification.
    void Timer1_Timer();
    void WindowsMediaPlayer1_PlayStateChange(qint32 NewState);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class Face { Normal, Pressed };

    void Form_Load();
    void placeOnScreen();
    void wireButtons();
    void describeButtons();
    void addShortcuts();
    void showFace(SkinImage *target, Face face);
    QString takenDrop(const QDropEvent *event) const;
    QString selectionTip() const;

    void openFile();
    void releaseMedia();
    void openChosen(const QString &chosen);
    void setStart();
    void setEnd();
    void stretchToEnd();
    void saveCut();
    CopyOutcome copyWithProgress(const QString &source, qint32 start, qint32 count,
                                 const QString &target, const RangeEdits &edits);
    void showAbout();
    void togglePlayback();
    void playCut();
    void seekBy(double seconds);
    void seekToBeginning();
    void forgetListening();

    void runCommand(void (FrmMain::*command)());
    void runCommand(const std::function<void()> &command);
    bool startIsMarked();
    // duration: the player's, for an end at the current position; none for the file's end.
    void applyEnd(qint32 width, std::optional<double> duration);
    void startAnalysis(const QString &path);
    // The length the marks count against: the exact one, which a mark made early waits for.
    double exactDuration();
    // The frame map of `path` once its analysis is done, waiting for it with input held back;
    // null where the analysis failed or was made of another file. The save takes it here too.
    std::shared_ptr<const Mp3Analysis> analysisFor(const QString &path);
    // The map where bytes are not in proportion to time and it still fits the file of `size`
    // bytes; null where the marking formulas apply.
    std::shared_ptr<const Mp3Analysis> framesWhereNotLinear(const QString &path, double size);
    bool rangeIsMarked();
    QString sourcePathFromCaption() const;
    void pumpEvents();
    void inform(const QString &text, const QString &title);
    // What the piece from 1-based `start`, `count` bytes long, needs so that it states its own
    // length; `size` is the source's size now.
    PieceHeader pieceHeaderFor(const QString &source, qint32 start, qint32 count, qint64 size);

    Platform m_platform;
    MainWindowSkin m_skin;
    CutState m_cut;
    QPixmap m_background;
    std::unique_ptr<frmAbout> m_about;
    QSet<QString> m_reportedFaces;
    bool m_saving = false;
    bool m_commandRunning = false; // a command, with any box or dialog it shows, is under way
    // The user chose to quit during a save: it is cancelled, then the window closes.
    bool m_quitAfterSave = false;
    // The analysis of the file opened last, made off the window's thread.
    QString m_analysedPath;
    QFuture<std::shared_ptr<const Mp3Analysis>> m_analysis;
    std::shared_ptr<std::atomic_bool> m_cancelAnalysis;
};
