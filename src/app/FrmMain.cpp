#include "app/FrmMain.h"

#include "AppInfo.h"
#include "core/TimeText.h"
#include "fileio/ByteRange.h"
#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureLoader.h"
#include "ui/DefaultFont.h"
#include "ui/FrmAbout.h"
#include "ui/InputHold.h"
#include "ui/MarkTimesDialog.h"
#include "ui/SaveProgress.h"
#include "ui/ScreenPlacement.h"
#include "ui/SkinAccessible.h"
#include "ui/SkinControls.h"
#include "ui/SkinPicture.h"
#include "ui/Twips.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>
#include <optional>

namespace {

const QString FullWidthPlaying = QStringLiteral("正在播放：");
const QString ErrorTitle = QStringLiteral("错误");
const QString SelectionWords = QStringLiteral("选定的剪切范围；按 P 试听");
// How long the keys that listen around a mark play.
constexpr double ListeningSeconds = 2.0;

// Start-up goes on past a step that fails; nothing is reported.
void startupStep(const std::function<void()> &step)
{
    try {
        step();
    } catch (const std::exception &error) {
        qDebug("start-up step skipped: %s", error.what());
    }
}

// Handlers of the clock and the player must not let a failure escape into the event loop, and a
// message box every second would be worse than a stale label.
void quietly(const char *what, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        qWarning("%s: %s", what, error.what());
    }
}

template <typename Control>
void routeButton(Control *control, QObject *context, const std::function<void()> &press,
                 const std::function<void()> &release, const std::function<void()> &click)
{
    QObject::connect(control, &Control::MouseDown, context, press);
    QObject::connect(control, &Control::MouseUp, context, release);
    QObject::connect(control, &Control::Click, context, click);
}

// The one local .mp3 file a drag carries, or empty: several files, another type or text are
// not for us.
QString draggedMp3(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    const QString path = urls.first().toLocalFile();
    const QFileInfo file(path);
    if (file.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) != 0 || file.isDir())
        return {};
    return path;
}

// A copy, never a move: a file manager removes the source of a move once the drop is taken.
Qt::DropAction harmlessAction(const QDropEvent *event)
{
    if (event->possibleActions() & Qt::CopyAction)
        return Qt::CopyAction;
    if (event->possibleActions() & Qt::LinkAction)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

} // namespace

FrmMain::FrmMain(Platform platform, QWidget *parent)
    : QWidget(parent), m_platform(std::move(platform))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QString::fromUtf8(AppInfo::Title));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/velquist.ico")));

    setFont(defaultFont());

    m_background = skinPicture(QStringLiteral(":/background.jpg"));
    installSkinAccessibility();
    m_skin.build(this, m_platform.player);
    resize(Twips::toPixels(MainWindowSkin::ClientWidth),
           Twips::toPixels(MainWindowSkin::ClientHeight));
    m_session = std::make_unique<CutSession>(
        BarSpan{m_skin.Shape2->Left(), m_skin.Shape2->Width()},
        Selection{{m_skin.ShapXuan->Left(), m_skin.ShapXuan->Width()}, false},
        [this](const QFuture<void> &analysis) { waitFor(analysis); });

    setAcceptDrops(true);
    wireButtons();
    connect(m_skin.Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    connect(m_skin.WindowsMediaPlayer1, &MediaPlayer::PlayStateChange, this,
            &FrmMain::WindowsMediaPlayer1_PlayStateChange);
    connect(m_skin.WindowsMediaPlayer1, &MediaPlayer::positionJumped, this, [this] {
        if (m_skin.Timer1->isActive())
            Timer1_Timer();
    });

    Form_Load();
}

FrmMain::~FrmMain() = default;

void FrmMain::Form_Load()
{
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    FileDialog &open = *m_platform.openDialog;
    FileDialog &save = *m_platform.saveDialog;
    startupStep([&] { placeOnScreen(); });
    startupStep([&] {
        setWindowTitle(QString::fromUtf8(AppInfo::Title) + QLatin1Char('-') +
                       QString::fromLatin1(AppInfo::Version));
    });
    startupStep([&] { drawSelection(); });
    startupStep([&] { player.setFullScreen(false); });
    startupStep([&] { player.setStretchToFit(false); });
    startupStep([&] { player.setUiMode(QStringLiteral("full")); });
    startupStep([&] { player.setEnableContextMenu(false); });
    startupStep([&] { m_skin.LabTime->setCaption(QStringLiteral("00:00/00")); });
    const QString filter = QStringLiteral("mp3文件(*.mp3)|*.mp3");
    startupStep([&] { open.setFilter(filter); });
    startupStep([&] { save.setFilter(filter); });
    const qint32 flags = FileDialog::OFN_FILEMUSTEXIST + FileDialog::OFN_OVERWRITEPROMPT;
    startupStep([&] { open.setFlags(flags); });
    startupStep([&] { save.setFlags(flags); });
    startupStep([&] { open.setFileName(QString()); });
    startupStep([&] { save.setFileName(QString()); });
    startupStep([&] { m_skin.Timer1->stop(); });
}

void FrmMain::placeOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        throw PlayerError("没有可用的屏幕。");
    const float screenWidth = Twips::fromPixels(screen->size().width());
    const float screenHeight = Twips::fromPixels(screen->size().height());
    // Before the first showing the window manager has not told us its frame yet.
    const bool frameKnown = isVisible() && frameGeometry().size() != size();
    const QSize outer = frameKnown ? frameGeometry().size() : size().grownBy(DesignedFrame);
    const float width = Twips::fromPixels(outer.width());
    const float height = Twips::fromPixels(outer.height());
    const QPointF where = ::placeOnScreen({screenWidth, screenHeight}, {width, height});
    move(Twips::toPixels(static_cast<float>(where.x())),
         Twips::toPixels(static_cast<float>(where.y())));
}

void FrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The window may be made smaller than designed, never larger: the picture covers no more.
    // Both sides snap back, also when only one of them was too large.
    if (Twips::fromPixels(width()) > MainWindowSkin::ClientWidth ||
        Twips::fromPixels(height()) > MainWindowSkin::ClientHeight)
        resize(Twips::toPixels(MainWindowSkin::ClientWidth),
               Twips::toPixels(MainWindowSkin::ClientHeight));
}

void FrmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Window managers offer maximize by key or title-bar click even without a maximize button;
    // the cap would leave the window in a corner, so it is undone and the window stays put. No
    // maximum-size hint instead: a manager honouring it clamps one side itself, unseen by the cap.
    const Qt::WindowStates tooLarge = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & tooLarge)) {
        // Put back where it was too: some managers leave an undone maximize in the corner.
        const QRect normal = normalGeometry();
        QMetaObject::invokeMethod(
            this,
            [this, tooLarge, normal] {
                setWindowState(windowState() & ~tooLarge);
                if (!normal.isValid())
                    return;
                setGeometry(normal);
                // A manager still busy with the maximize may move it once more; once is enough.
                QTimer::singleShot(250, this, [this, tooLarge, normal] {
                    if (!(windowState() & tooLarge) && geometry() != normal)
                        setGeometry(normal);
                });
            },
            Qt::QueuedConnection);
    }
}

QString FrmMain::takenDrop(const QDropEvent *event) const
{
    // Nothing is opened from under a box, a dialog or the save.
    if (m_saving || m_commandRunning || QApplication::activeModalWidget())
        return {};
    if (harmlessAction(event) == Qt::IgnoreAction)
        return {};
    return draggedMp3(event->mimeData());
}

void FrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void FrmMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (takenDrop(event).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(harmlessAction(event));
    event->accept();
}

void FrmMain::dropEvent(QDropEvent *event)
{
    const QString path = takenDrop(event);
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(harmlessAction(event));
    event->accept();
    // Opened once the drop is done: the file manager waits for the drop to finish, and opening
    // may show a box.
    QTimer::singleShot(0, this, [this, path] {
        if (!m_commandRunning)
            openFileNamed(path);
    });
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_skin.ShapXuan && event->type() == QEvent::ToolTip)
        m_skin.ShapXuan->setToolTip(selectionTip());
    if (watched == m_skin.ShapXuan && event->type() == QEvent::MouseButtonDblClick &&
        !m_commandRunning) {
        // After the press is done: the dialog is modal.
        QTimer::singleShot(0, this, [this] {
            if (!m_commandRunning)
                runCommand(&FrmMain::typeMarkTimes);
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString FrmMain::selectionTip() const
{
    if (m_session->source().isEmpty() || !m_session->selection().shown)
        return SelectionWords;
    try {
        // The marks' times, to the hundredth where they hold samples.
        MediaItem &media = m_skin.WindowsMediaPlayer1->currentMedia();
        const Timeline line{media.duration(), media.sampleRate(), media.lengthInSamples()};
        CutTimes times = m_session->markedTimes(line.duration);
        if (line.rate > 0) {
            const MarkSamples marks = m_session->marks(line);
            times.start = double(marks.start) / line.rate;
            if (marks.end >= 0)
                times.end = double(marks.end) / line.rate;
        }
        const auto text = [&line](double seconds) {
            return TimeText::fromHundredths(std::llround(seconds * 100), line.duration >= 3600);
        };
        if (m_session->state().CutLength <= 0)
            return QStringLiteral("开始 %1；按 E 定位结束").arg(text(times.start));
        return QStringLiteral("开始 %1，结束 %2，时长 %3 秒；按 P 试听，双击输入时间（T）")
            .arg(text(times.start), text(times.end),
                 QString::number(std::llround((times.end - times.start) * 100) / 100.0, 'f', 2));
    } catch (const std::exception &) {
        // Without a length there are no times to give; the plain words still hold.
        return SelectionWords;
    }
}

void FrmMain::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Between 100 % and 200 % the picture drawn at twice the size is scaled down, smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(0, 0, m_background);
}

void FrmMain::wireButtons()
{
    struct Button
    {
        SkinImage *image;
        SkinLabel *caption;
        const char *tip;
        QKeySequence key;
        void (FrmMain::*command)();
    };
    const Button buttons[] = {
        {m_skin.ImgOpenFile, m_skin.Labdakai, "打开一个mp3文件并开始播放（Ctrl+O）",
         QKeySequence(Qt::CTRL | Qt::Key_O), &FrmMain::openFile},
        {m_skin.ImgKaishi, m_skin.Labkaishi,
         "把当前播放位置定为剪切的开始（B）\n"
         "开始提前／推后 0.1 秒（A／S，加 Shift 为 0.01 秒）\n"
         "试听开始后的 2 秒（F）",
         QKeySequence(Qt::Key_B), &FrmMain::setStart},
        {m_skin.ImgJiesu, m_skin.Labjiesu,
         "把当前播放位置定为剪切的结束（E）\n"
         "结束提前／推后 0.1 秒（K／L，加 Shift 为 0.01 秒）\n"
         "试听结束前的 2 秒（J）\n"
         "撤销上一次定位（Ctrl+Z）",
         QKeySequence(Qt::Key_E), &FrmMain::setEnd},
        {m_skin.ImgMowei, m_skin.Labwei, "把剪切的结束定在文件末尾（Shift+E）",
         QKeySequence(Qt::SHIFT | Qt::Key_E), &FrmMain::stretchToEnd},
        {m_skin.ImgSave, m_skin.LabBaocun, "把选定的一段保存为新的mp3文件（Ctrl+S）",
         QKeySequence(Qt::CTRL | Qt::Key_S), &FrmMain::saveCut},
        {m_skin.ImgGuanyu, m_skin.LabGuanyu, "关于本程序（F1）", QKeySequence(Qt::Key_F1),
         &FrmMain::showAbout},
    };
    for (const Button &button : buttons) {
        // Press and release on the caption change the face of the image beneath it.
        SkinImage *image = button.image;
        const auto press = [this, image] { showFace(image, Face::Pressed); };
        const auto release = [this, image] { showFace(image, Face::Normal); };
        const auto click = [this, command = button.command] { runCommand(command); };
        routeButton(button.image, this, press, release, click);
        routeButton(button.caption, this, press, release, click);
        const QString tip = QString::fromUtf8(button.tip);
        button.image->setToolTip(tip);
        button.caption->setToolTip(tip);
        // Screen readers name the image by the caption lying on it.
        button.caption->setBuddy(button.image);
        addShortcut(button.key, click);
    }
    m_skin.ShapXuan->setToolTip(SelectionWords);
    // Worked out when asked for, so it always matches the selection as it stands.
    m_skin.ShapXuan->installEventFilter(this);

    const auto seek = [this](double seconds) {
        return [this, seconds] { runCommand([this, seconds] { seekBy(seconds); }); };
    };
    addShortcut(QKeySequence(Qt::Key_Space), [this] { runCommand(&FrmMain::togglePlayback); });
    addShortcut(QKeySequence(Qt::Key_P), [this] { runCommand(&FrmMain::playCut); });
    // Holding an arrow keeps stepping, as in any player.
    addShortcut(QKeySequence(Qt::Key_Left), seek(-5), true);
    addShortcut(QKeySequence(Qt::Key_Right), seek(5), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Left), seek(-1), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Right), seek(1), true);
    addShortcut(QKeySequence(Qt::Key_Home), [this] { runCommand(&FrmMain::seekToBeginning); });

    const auto nudge = [this](Mark mark, double seconds) {
        return [this, mark, seconds] {
            runCommand([this, mark, seconds] { nudgeMark(mark, seconds); });
        };
    };
    // Left hand for the start, right hand for the end; Shift for the fine step.
    addShortcut(QKeySequence(Qt::Key_A), nudge(Mark::Start, -0.1), true);
    addShortcut(QKeySequence(Qt::Key_S), nudge(Mark::Start, 0.1), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_A), nudge(Mark::Start, -0.01), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_S), nudge(Mark::Start, 0.01), true);
    addShortcut(QKeySequence(Qt::Key_K), nudge(Mark::End, -0.1), true);
    addShortcut(QKeySequence(Qt::Key_L), nudge(Mark::End, 0.1), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_K), nudge(Mark::End, -0.01), true);
    addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_L), nudge(Mark::End, 0.01), true);
    addShortcut(QKeySequence(Qt::Key_F), [this] { runCommand(&FrmMain::listenAfterStart); });
    addShortcut(QKeySequence(Qt::Key_J), [this] { runCommand(&FrmMain::listenBeforeEnd); });
    addShortcut(QKeySequence(Qt::Key_T), [this] { runCommand(&FrmMain::typeMarkTimes); });
    addShortcut(
        QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { runCommand(&FrmMain::undoMarks); }, true);
}

void FrmMain::addShortcut(const QKeySequence &key, const std::function<void()> &command,
                          bool repeats)
{
    // Window-wide, so they work whatever has the focus; a modal box above blocks them.
    auto *shortcut = new QShortcut(key, this);
    shortcut->setContext(Qt::WindowShortcut);
    // A held key must not toggle playback or reopen a dialog over and over.
    shortcut->setAutoRepeat(repeats);
    connect(shortcut, &QShortcut::activated, this, command);
}

void FrmMain::showFace(SkinImage *target, Face face)
{
    const QString path =
        m_platform.programFolder +
        (face == Face::Pressed ? QStringLiteral("/按钮D.gif") : QStringLiteral("/按钮.gif"));
    try {
        target->setPicture(m_platform.pictures->LoadPicture(path));
    } catch (const std::exception &error) {
        // The button keeps the face it shows; say so once per file, not on every press.
        if (!m_reportedFaces.contains(path)) {
            m_reportedFaces.insert(path);
            qWarning("button face not loaded: %s", error.what());
        }
    }
}

void FrmMain::runCommand(void (FrmMain::*command)())
{
    runCommand([this, command] { (this->*command)(); });
}

void FrmMain::runCommand(const std::function<void()> &command)
{
    // Not even a path that bypasses input (a screen reader's press) may start a command inside
    // the save's copy.
    if (m_saving)
        return;
    const QScopedValueRollback<bool> running(m_commandRunning, true);
    QString problem;
    bool namesItsFile = false;
    try {
        command();
        drawSelection();
        return;
    } catch (const std::bad_alloc &) {
        problem = QStringLiteral("内存不足，操作未能完成。");
    } catch (const FileIoError &error) {
        // It names its own file, which may be the new one: the source must not be added.
        problem = QString::fromUtf8(error.what());
        namesItsFile = true;
    } catch (const std::exception &error) {
        problem = QString::fromUtf8(error.what());
    }
    // A failed command may have moved the selection before it failed.
    drawSelection();
    const QString &source = m_session->source();
    if (!namesItsFile && !source.isEmpty() && !problem.contains(source))
        problem += QStringLiteral("\n\n文件：") + source;
    m_platform.messages->show(this, problem, ErrorTitle, MessageBoxes::Icon::Critical);
}

void FrmMain::drawSelection()
{
    const Selection &selection = m_session->selection();
    ShapeRect &shape = *m_skin.ShapXuan;
    shape.setLeft(selection.span.left);
    shape.setWidth(selection.span.width);
    shape.setVisible(selection.shown);
}

void FrmMain::openFile()
{
    // The file plays on under the dialog; a cancel leaves it as it stood, with its marks.
    FileDialog &dialog = *m_platform.openDialog;
    dialog.ShowOpen(this);
    const QString chosen = dialog.FileName();
    if (!chosen.isEmpty())
        openSource(chosen);
}

void FrmMain::openFileNamed(const QString &path)
{
    runCommand([this, path] { openSource(CutSession::namedFile(path)); });
}

void FrmMain::openSource(const QString &path)
{
    // First, so a file that cannot be cut leaves the current one playing.
    CutSession::checkOpenable(path);
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    player.controls().stop();
    player.close();
    // Before the session takes it, so that a file the player cannot decode is refused with
    // everything as it was; the refusal names that file, not the one open before.
    try {
        player.setURL(path);
    } catch (const PlayerError &error) {
        throw FileIoError(QString::fromUtf8(error.what()));
    }
    m_session->open(path);
    // The player seeks through the map and takes its exact length from it.
    auto *watcher = new QFutureWatcher<std::shared_ptr<const Mp3Analysis>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
        if (const auto frames = watcher->result(); frames && path == m_session->source())
            m_skin.WindowsMediaPlayer1->setFrameMap(frames);
        watcher->deleteLater();
    });
    watcher->setFuture(m_session->analysis());
    m_skin.LabFname->setCaption(FullWidthPlaying + path);
    // The label is cut off at the window's edge; the tip shows the whole path.
    m_skin.LabFname->setToolTip(path);
    m_skin.Timer1->start();
}

void FrmMain::Timer1_Timer()
{
    quietly("time display", [this] {
        MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
        const QString position = player.controls().currentPositionString();
        const QString duration = player.currentMedia().durationString();
        m_skin.LabTime->setCaption(position.isEmpty() ? QStringLiteral("00:00/") + duration
                                                      : position + QLatin1Char('/') + duration);
    });
}

void FrmMain::WindowsMediaPlayer1_PlayStateChange(qint32 NewState)
{
    // The state, then the source's path.
    QString prefix;
    switch (NewState) {
    case MediaPlayer::Stopped:
        prefix = QStringLiteral("停止播放:");
        break;
    case MediaPlayer::Paused:
        prefix = QStringLiteral("暂停播放:");
        break;
    case MediaPlayer::Playing:
        prefix = QStringLiteral("正在播放:");
        break;
    default:
        return;
    }
    m_skin.LabFname->setCaption(prefix + m_session->source());
}

PlayerTime FrmMain::playerTime()
{
    // P paused at the end of the selection as it stood; marks that move call that off.
    forgetListening();
    const MediaControls &controls = m_skin.WindowsMediaPlayer1->controls();
    const double position = controls.currentPosition();
    const qint64 sample = controls.currentSample();
    return {position, exactDuration(), sample};
}

Timeline FrmMain::timeline()
{
    const double duration = exactDuration();
    MediaItem &media = m_skin.WindowsMediaPlayer1->currentMedia();
    return {duration, media.sampleRate(), media.lengthInSamples()};
}

double FrmMain::exactDuration()
{
    // The player starts on an estimate of the length and learns the exact one from the frame
    // map; a mark made before it is ready waits for it.
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    if (auto frames = m_session->frameMap())
        player.setFrameMap(std::move(frames));
    return player.currentMedia().duration();
}

void FrmMain::setStart()
{
    explainMark(m_session->markStart([this] { return playerTime(); }));
}

void FrmMain::setEnd()
{
    explainMark(m_session->markEnd([this] { return playerTime(); }));
}

void FrmMain::stretchToEnd()
{
    const MarkOutcome outcome = m_session->markToEnd();
    if (outcome == MarkOutcome::Done)
        forgetListening();
    explainMark(outcome);
}

void FrmMain::explainMark(MarkOutcome outcome)
{
    QString text;
    if (outcome == MarkOutcome::NoStart)
        text = QStringLiteral("请先选择开始位置！");
    else if (outcome == MarkOutcome::EndNotAfterStart)
        text = QStringLiteral("结束位置必须在开始位置之后！");
    else if (outcome == MarkOutcome::NoEnd)
        text = QStringLiteral("请先选择结束位置！");
    else
        return;
    // Untitled, the box would carry the executable's name; desktops give it the program's.
    m_platform.messages->show(this, text, QString::fromUtf8(AppInfo::Title),
                              MessageBoxes::Icon::None);
}

void FrmMain::forgetListening()
{
    m_skin.WindowsMediaPlayer1->controls().cancelPauseAt();
}

void FrmMain::waitFor(const QFuture<void> &analysis)
{
    // Held back like the save: a command run inside the wait would act on a half-made mark.
    std::optional<InputHold> hold;
    if (!m_saving)
        hold.emplace(m_saving);
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(analysis);
    if (!analysis.isFinished())
        loop.exec();
}

void FrmMain::inform(const QString &text, const QString &title)
{
    m_platform.messages->show(this, text, title, MessageBoxes::Icon::Information);
}

bool FrmMain::rangeIsMarked()
{
    QString missing;
    switch (m_session->missingBeforeSave()) {
    case Missing::Nothing:
        return true;
    case Missing::File:
        missing = QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！");
        break;
    case Missing::Start:
        missing = QStringLiteral("请选择开始位置！");
        break;
    case Missing::End:
        missing = QStringLiteral("请选择结束位置！");
        break;
    }
    inform(missing, QStringLiteral("提示"));
    return false;
}

void FrmMain::saveCut()
{
    if (!rangeIsMarked())
        return;

    FileDialog &dialog = *m_platform.saveDialog;
    dialog.ShowSave(this);
    const QString chosen = dialog.FileName();
    if (chosen.isEmpty())
        return;
    if (m_session->isSource(chosen))
        return inform(QStringLiteral("原文件路径及文件名不能和新文件路径及文件名相同！"),
                      QStringLiteral("操作错误！"));

    // The clock and the player run nested during the copy; the save works on what it took here.
    const SavePlan plan = m_session->planSave(chosen);
    if (copyWithProgress(plan, chosen) == CopyOutcome::Cancelled) {
        m_session->saveCancelled();
        if (m_quitAfterSave) {
            m_quitAfterSave = false;
            close();
        }
        return;
    }

    inform(QStringLiteral("剪切成功！"), QStringLiteral("恭喜你！"));
    m_session->saved();
    // The file is saved; a player that cannot answer must not make that look like a failure.
    quietly("listening", [this] { forgetListening(); });
}

CopyOutcome FrmMain::copyWithProgress(const SavePlan &plan, const QString &target)
{
    InputHold busy(m_saving);
    SaveProgress progress(this, QString::fromUtf8(AppInfo::Title), target, plan.count);
    busy.letThrough(progress.window());
    busy.onCloseAttempt(this, [this] {
        if (m_platform.messages->ask(this, QStringLiteral("正在保存新文件，要取消保存并退出吗？"),
                                     QString::fromUtf8(AppInfo::Title)))
            m_quitAfterSave = true;
    });
    CopyOptions options;
    options.pumpEvents = [] { QCoreApplication::processEvents(); };
    options.progress = [&progress](qint64 written, qint64) { progress.update(written); };
    options.cancelled = [this, &progress] { return m_quitAfterSave || progress.cancelled(); };
    options.edits = plan.edits;
    return CopyByteRange(plan.source, plan.start, plan.count, target, options);
}

void FrmMain::togglePlayback()
{
    if (m_session->source().isEmpty())
        return;
    MediaControls &controls = m_skin.WindowsMediaPlayer1->controls();
    if (m_skin.WindowsMediaPlayer1->playState() == MediaPlayer::Playing)
        controls.pause();
    else
        controls.play();
}

void FrmMain::playCut()
{
    if (!rangeIsMarked())
        return;
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    const CutTimes times = m_session->markedTimes(exactDuration());
    MediaControls &controls = player.controls();
    controls.setCurrentPosition(times.start);
    controls.play();
    controls.pauseAt(times.end);
}

void FrmMain::seekBy(double seconds)
{
    if (m_session->source().isEmpty())
        return;
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    const double length = player.currentMedia().duration();
    double target = std::max(0.0, player.controls().currentPosition() + seconds);
    if (length > 0)
        target = std::min(target, length);
    player.controls().setCurrentPosition(target);
}

void FrmMain::nudgeMark(Mark mark, double seconds)
{
    const Timeline line = timeline();
    const MarkOutcome outcome = m_session->nudge(mark, std::llround(seconds * line.rate), line);
    if (outcome != MarkOutcome::Done)
        return explainMark(outcome);
    // The user hears where the mark now stands.
    if (mark == Mark::Start)
        listenAfterStart();
    else
        listenBeforeEnd();
}

void FrmMain::listenAfterStart()
{
    if (const Missing missing = m_session->missingBeforeSave();
        missing == Missing::File || missing == Missing::Start)
        return void(rangeIsMarked());
    const Timeline line = timeline();
    const double start = double(m_session->marks(line).start) / line.rate;
    listen(start, std::min(start + ListeningSeconds, line.duration));
}

void FrmMain::listenBeforeEnd()
{
    if (!rangeIsMarked())
        return;
    const Timeline line = timeline();
    const MarkSamples marks = m_session->marks(line);
    const double end = marks.end == CutState::ToEnd ? line.duration : double(marks.end) / line.rate;
    listen(std::max(end - ListeningSeconds, 0.0), end);
}

void FrmMain::listen(double from, double to)
{
    MediaControls &controls = m_skin.WindowsMediaPlayer1->controls();
    controls.setCurrentPosition(from);
    controls.play();
    controls.pauseAt(to);
}

void FrmMain::typeMarkTimes()
{
    if (m_session->missingBeforeSave() == Missing::File)
        return void(rangeIsMarked());
    const Timeline line = timeline();
    const auto hundredths = [&line](qint64 sample) {
        return std::llround(double(sample) * 100 / line.rate);
    };
    const auto sample = [&line](qint64 hundredths) {
        return std::min(std::llround(double(hundredths) * line.rate / 100), line.samples);
    };
    // Without marks the dialog offers the whole file.
    const MarkSamples now = m_session->marks(line);
    const qint64 length = hundredths(line.samples);
    const MarkHundredths shown{now.start >= 0 ? hundredths(now.start) : 0,
                               now.end >= 0 ? hundredths(now.end) : length};
    const std::optional<MarkHundredths> typed = askMarkTimes(this, shown, length);
    if (!typed || (typed->start == shown.start && typed->end == shown.end && now.end != -1))
        return;
    // A time left as it stood keeps its mark to the sample.
    MarkSamples wanted{sample(typed->start), sample(typed->end)};
    if (typed->start == shown.start && now.start >= 0)
        wanted.start = now.start;
    if (typed->end == shown.end && now.end != -1)
        wanted.end = now.end;
    const MarkOutcome outcome = m_session->setMarks(wanted, line);
    if (outcome == MarkOutcome::Done)
        forgetListening();
    explainMark(outcome);
}

void FrmMain::undoMarks()
{
    if (m_session->undo())
        forgetListening();
}

void FrmMain::seekToBeginning()
{
    if (m_session->source().isEmpty())
        return;
    m_skin.WindowsMediaPlayer1->controls().setCurrentPosition(0);
}

void FrmMain::showAbout()
{
    if (!m_about)
        m_about = std::make_unique<frmAbout>();
    m_about->showModal(this);
}
