#pragma once

#include "app/CutSession.h"
#include "platform/Platform.h"
#include "ui/MainWindowSkin.h"

#include <QPixmap>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class frmAbout;
class QKeySequence;
class SkinImage;

// The working window: its skin, buttons, keys, drops, dialogs and boxes around the cut, which
// it hands to its CutSession and draws as the session says.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(Platform platform, QWidget *parent = nullptr);
    ~FrmMain() override;

    // Opens the named file as the Open command opens a chosen one (a file named at start-up, a
    // dropped file); a name that cannot be read is reported and changes nothing.
    void openFileNamed(const QString &path);

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
    void addShortcut(const QKeySequence &key, const std::function<void()> &command,
                     bool repeats = false);
    void showFace(SkinImage *target, Face face);
    QString takenDrop(const QDropEvent *event) const;
    QString selectionTip() const;

    // The commands. Each runs through runCommand, the one place that reports a failure and
    // draws the selection as the session then has it.
    void runCommand(void (FrmMain::*command)());
    void runCommand(const std::function<void()> &command);
    void drawSelection();
    void openFile();
    void openSource(const QString &path);
    void setStart();
    void setEnd();
    void stretchToEnd();
    void saveCut();
    void showAbout();
    void togglePlayback();
    void playCut();
    void seekBy(double seconds);
    void seekToBeginning();
    void nudgeMark(Mark mark, double seconds);
    void listenAfterStart();
    void listenBeforeEnd();
    void undoMarks();
    void typeMarkTimes();

    PlayerTime playerTime();
    Timeline timeline();
    // Plays the stretch and stops at its end, as P does for the whole selection.
    void listen(double from, double to);
    // The length the marks count against: the exact one, which a mark made early waits for.
    double exactDuration();
    void explainMark(MarkOutcome outcome);
    void forgetListening();
    void waitFor(const QFuture<void> &analysis);
    bool rangeIsMarked();
    void inform(const QString &text, const QString &title);
    CopyOutcome copyWithProgress(const SavePlan &plan, const QString &target);

    Platform m_platform;
    MainWindowSkin m_skin;
    std::unique_ptr<CutSession> m_session;
    QPixmap m_background;
    std::unique_ptr<frmAbout> m_about;
    QSet<QString> m_reportedFaces;
    bool m_saving = false;
    bool m_commandRunning = false; // a command, with any box or dialog it shows, is under way
    // The user chose to quit during a save: it is cancelled, then the window closes.
    bool m_quitAfterSave = false;
};
