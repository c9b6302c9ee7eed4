#include "app/FrmMain.h"

#include "AppInfo.h"
#include "app/CutTimes.h"
#include "app/Numeric.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3ByteMap.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Scan.h"
#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureLoader.h"
#include "platform/TimeText.h"
#include "ui/DefaultFont.h"
#include "ui/FrmAbout.h"
#include "ui/InputHold.h"
#include "ui/SaveProgress.h"
#include "ui/ScreenPlacement.h"
#include "ui/SkinAccessible.h"
#include "ui/SkinControls.h"
#include "ui/SkinPicture.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>
#include <QtDebug>

#include <algorithm>
#include <functional>
#include <limits>
#include <new>

using namespace Numeric;

namespace {

// The designed frame around the client area: 4-pixel borders and a 30-pixel caption bar.
constexpr float DesignedFrameWidth = 120;  // twips, both borders
constexpr float DesignedFrameHeight = 510; // twips, caption bar and both borders

const QString FullWidthPlaying = QStringLiteral("正在播放：");
const QString ErrorTitle = QStringLiteral("错误");

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

// The marking formulas measure the bytes before the selection; the cut starts at the next one.
qint32 firstByteAfter(qint32 bytesBefore)
{
    if (bytesBefore == std::numeric_limits<qint32>::max())
        throw ArithmeticError("计算出错：数值超出范围。");
    return bytesBefore + 1;
}

// A byte position or count of the frame map, in the cut state's 32 bits.
qint32 fits32(qint64 value)
{
    if (value > std::numeric_limits<qint32>::max())
        throw ArithmeticError("计算出错：数值超出范围。");
    return static_cast<qint32>(value);
}

// The marking formulas divide by the length; without one there is nothing to mark against.
double mediaDuration(MediaPlayer &player, const QString &file)
{
    const double duration = player.currentMedia().duration();
    if (!(duration > 0))
        throw PlayerError(
            (QStringLiteral("无法定位：播放器读不出文件“") + file + QStringLiteral("”的播放时长。"))
                .toStdString());
    return duration;
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

    setAcceptDrops(true);
    wireButtons();
    describeButtons();
    addShortcuts();
    connect(m_skin.Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    connect(m_skin.WindowsMediaPlayer1, &MediaPlayer::PlayStateChange, this,
            &FrmMain::WindowsMediaPlayer1_PlayStateChange);
    connect(m_skin.WindowsMediaPlayer1, &MediaPlayer::positionJumped, this, [this] {
        if (m_skin.Timer1->isActive())
            Timer1_Timer();
    });

    Form_Load();
}

FrmMain::~FrmMain()
{
    // The scan stops at its next block; it must not outlive the window it reports to.
    if (m_cancelAnalysis)
        m_cancelAnalysis->store(true);
    m_analysis.waitForFinished();
}

void FrmMain::Form_Load()
{
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    startupStep([&] { placeOnScreen(); });
    startupStep([&] {
        setWindowTitle(QStringLiteral("%1-%2.%3.%4")
                           .arg(QString::fromUtf8(AppInfo::Title), QString::number(AppInfo::Major),
                                QString::number(AppInfo::Minor),
                                QString::number(AppInfo::Revision)));
    });
    startupStep([&] { m_skin.ShapXuan->setVisible(false); });
    startupStep([&] { player.setFullScreen(false); });
    startupStep([&] { player.setStretchToFit(false); });
    startupStep([&] { player.setUiMode(QStringLiteral("full")); });
    startupStep([&] { player.setEnableContextMenu(false); });
    startupStep([&] { m_skin.LabTime->setCaption(QStringLiteral("00:00/00")); });
    const QString filter = QStringLiteral("mp3文件(*.mp3)|*.mp3");
    startupStep([&] { CmDialog().setFilter(filter); });
    startupStep([&] { CmDialgS().setFilter(filter); });
    const qint32 flags = FileDialog::OFN_FILEMUSTEXIST + FileDialog::OFN_OVERWRITEPROMPT;
    startupStep([&] { CmDialog().setFlags(flags); });
    startupStep([&] { CmDialgS().setFlags(flags); });
    startupStep([&] { CmDialog().setFileName(QString()); });
    startupStep([&] { CmDialgS().setFileName(QString()); });
    startupStep([&] { m_skin.Timer1->stop(); });
    startupStep([&] { m_cut.reset(); });
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
    const float width = frameKnown ? Twips::fromPixels(frameGeometry().width())
                                   : Twips::fromPixels(this->width()) + DesignedFrameWidth;
    const float height = frameKnown ? Twips::fromPixels(frameGeometry().height())
                                    : Twips::fromPixels(this->height()) + DesignedFrameHeight;
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
    return QWidget::eventFilter(watched, event);
}

QString FrmMain::selectionTip() const
{
    const QString plain = QStringLiteral("选定的剪切范围；按 P 试听");
    if (m_cut.SourceFile.isEmpty() || m_skin.ShapXuan->isHidden())
        return plain;
    try {
        MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
        const double d = mediaDuration(player, m_cut.SourceFile);
        // The times P plays: from the selection as the shapes report it.
        const CutTimes times = cutTimes(m_skin.Shape2->Left(), m_skin.Shape2->Width(),
                                        m_skin.ShapXuan->Left(), m_skin.ShapXuan->Width(), d);
        if (m_cut.CutLength <= 0)
            return QStringLiteral("开始 %1；按 E 定位结束").arg(TimeText::withTenths(times.start));
        return QStringLiteral("开始 %1，结束 %2，时长 %3 秒；按 P 试听")
            .arg(TimeText::withTenths(times.start), TimeText::withTenths(times.end),
                 QString::number(times.end - times.start, 'f', 1));
    } catch (const std::exception &) {
        // Without a length there are no times to give; the plain words still hold.
        return plain;
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
    struct Route
    {
        SkinImage *image;
        SkinLabel *caption;
        void (FrmMain::*click)();
    };
    const Route routes[] = {
        {m_skin.ImgOpenFile, m_skin.Labdakai, &FrmMain::ImgOpenFile_Click},
        {m_skin.ImgKaishi, m_skin.Labkaishi, &FrmMain::ImgKaishi_Click},
        {m_skin.ImgJiesu, m_skin.Labjiesu, &FrmMain::ImgJiesu_Click},
        {m_skin.ImgMowei, m_skin.Labwei, &FrmMain::ImgMowei_Click},
        {m_skin.ImgSave, m_skin.LabBaocun, &FrmMain::ImgSave_Click},
        {m_skin.ImgGuanyu, m_skin.LabGuanyu, &FrmMain::ImgGuanyu_Click},
    };
    for (const Route &route : routes) {
        // Press and release on the caption change the face of the image beneath it.
        SkinImage *image = route.image;
        const auto press = [this, image] { showFace(image, Face::Pressed); };
        const auto release = [this, image] { showFace(image, Face::Normal); };
        const auto click = [this, command = route.click] { (this->*command)(); };
        routeButton(route.image, this, press, release, click);
        routeButton(route.caption, this, press, release, click);
    }
}

void FrmMain::describeButtons()
{
    struct Description
    {
        SkinImage *image;
        SkinLabel *caption;
        const char *tip;
    };
    const Description descriptions[] = {
        {m_skin.ImgOpenFile, m_skin.Labdakai, "打开一个mp3文件并开始播放（Ctrl+O）"},
        {m_skin.ImgKaishi, m_skin.Labkaishi, "把当前播放位置定为剪切的开始（B）"},
        {m_skin.ImgJiesu, m_skin.Labjiesu, "把当前播放位置定为剪切的结束（E）"},
        {m_skin.ImgMowei, m_skin.Labwei, "把剪切的结束定在文件末尾（Shift+E）"},
        {m_skin.ImgSave, m_skin.LabBaocun, "把选定的一段保存为新的mp3文件（Ctrl+S）"},
        {m_skin.ImgGuanyu, m_skin.LabGuanyu, "关于本程序（F1）"},
    };
    for (const Description &button : descriptions) {
        const QString tip = QString::fromUtf8(button.tip);
        button.image->setToolTip(tip);
        button.caption->setToolTip(tip);
        // Screen readers name the image by the caption lying on it.
        button.caption->setBuddy(button.image);
    }
    m_skin.ShapXuan->setToolTip(QStringLiteral("选定的剪切范围；按 P 试听"));
    // Worked out when asked for, so it always matches the selection as it stands.
    m_skin.ShapXuan->installEventFilter(this);
}

void FrmMain::addShortcuts()
{
    struct Key
    {
        QKeySequence key;
        std::function<void()> command;
        bool repeats = false;
    };
    const auto seek = [this](double seconds) {
        return [this, seconds] { runCommand([this, seconds] { seekBy(seconds); }); };
    };
    const Key keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), [this] { ImgOpenFile_Click(); }},
        {QKeySequence(Qt::Key_B), [this] { ImgKaishi_Click(); }},
        {QKeySequence(Qt::Key_E), [this] { ImgJiesu_Click(); }},
        {QKeySequence(Qt::SHIFT | Qt::Key_E), [this] { ImgMowei_Click(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_S), [this] { ImgSave_Click(); }},
        {QKeySequence(Qt::Key_F1), [this] { ImgGuanyu_Click(); }},
        {QKeySequence(Qt::Key_Space), [this] { playOrPause(); }},
        {QKeySequence(Qt::Key_P), [this] { listenToCut(); }},
        // Holding an arrow keeps stepping, as in any player.
        {QKeySequence(Qt::Key_Left), seek(-5), true},
        {QKeySequence(Qt::Key_Right), seek(5), true},
        {QKeySequence(Qt::SHIFT | Qt::Key_Left), seek(-1), true},
        {QKeySequence(Qt::SHIFT | Qt::Key_Right), seek(1), true},
        {QKeySequence(Qt::Key_Home), [this] { runCommand(&FrmMain::seekToBeginning); }},
    };
    for (const Key &key : keys) {
        // Window-wide, so they work whatever has the focus; a modal box above blocks them.
        auto *shortcut = new QShortcut(key.key, this);
        shortcut->setContext(Qt::WindowShortcut);
        // A held key must not toggle playback or reopen a dialog over and over.
        shortcut->setAutoRepeat(key.repeats);
        connect(shortcut, &QShortcut::activated, this, key.command);
    }
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

void FrmMain::ImgOpenFile_Click()
{
    runCommand(&FrmMain::openFile);
}

void FrmMain::ImgKaishi_Click()
{
    runCommand(&FrmMain::setStart);
}

void FrmMain::ImgJiesu_Click()
{
    runCommand(&FrmMain::setEnd);
}

void FrmMain::ImgMowei_Click()
{
    runCommand(&FrmMain::stretchToEnd);
}

void FrmMain::ImgSave_Click()
{
    runCommand(&FrmMain::saveCut);
}

void FrmMain::ImgGuanyu_Click()
{
    runCommand(&FrmMain::showAbout);
}

void FrmMain::playOrPause()
{
    runCommand(&FrmMain::togglePlayback);
}

void FrmMain::listenToCut()
{
    runCommand(&FrmMain::playCut);
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
    if (!namesItsFile && !m_cut.SourceFile.isEmpty() && !problem.contains(m_cut.SourceFile))
        problem += QStringLiteral("\n\n文件：") + m_cut.SourceFile;
    m_platform.messages->show(this, problem, ErrorTitle, MessageBoxes::Icon::Critical);
}

void FrmMain::openFile()
{
    releaseMedia();
    CmDialog().ShowOpen(this);
    openChosen(CmDialog().FileName());
}

void FrmMain::openFileNamed(const QString &path)
{
    runCommand([this, path] {
        // Checked first, so a name that cannot be opened leaves the window as it was.
        const QFileInfo file(path);
        if (!file.exists())
            throw FileIoError(QStringLiteral("找不到文件“%1”。").arg(path));
        if (!file.isFile())
            throw FileIoError(QStringLiteral("“%1”不是文件。").arg(path));
        if (QFile readable(file.absoluteFilePath()); !readable.open(QIODevice::ReadOnly))
            throw FileIoError(QStringLiteral("无法读取文件“%1”：%2")
                                  .arg(file.absoluteFilePath(), readable.errorString()));
        releaseMedia();
        // A full path, as the Open dialog gives it: the name may be relative to where we started.
        openChosen(file.absoluteFilePath());
    });
}

void FrmMain::releaseMedia()
{
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    player.controls().stop();
    player.close();
}

void FrmMain::openChosen(const QString &chosen)
{
    if (!chosen.isEmpty()) {
        // First, so that a file the player cannot decode is refused with everything as it was;
        // the refusal names that file, not the one open before.
        try {
            m_skin.WindowsMediaPlayer1->setURL(chosen);
        } catch (const PlayerError &error) {
            throw FileIoError(QString::fromUtf8(error.what()));
        }
        m_cut.SourceFile = chosen;
        startAnalysis(m_cut.SourceFile);
        m_skin.LabFname->setCaption(FullWidthPlaying + m_cut.SourceFile);
        // The label is cut off at the window's edge; the tip shows the whole path.
        m_skin.LabFname->setToolTip(m_cut.SourceFile);
        m_skin.Timer1->start();
    }
    m_cut.reset();
    m_skin.ShapXuan->setVisible(false);
    m_skin.ShapXuan->setWidth(1);
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
    // Every prefix is five characters: marking and saving read the path from the sixth on.
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
    m_skin.LabFname->setCaption(prefix + m_cut.SourceFile);
}

QString FrmMain::sourcePathFromCaption() const
{
    return m_skin.LabFname->Caption().mid(5);
}

void FrmMain::setStart()
{
    if (m_cut.SourceFile.isEmpty())
        return;
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    ShapeRect &bar = *m_skin.Shape2;
    ShapeRect &selection = *m_skin.ShapXuan;

    forgetListening();
    const double p = player.controls().currentPosition();
    const double d = exactDuration();
    double W = bar.Width();
    double L = bar.Left();
    const qint32 x = ToInt32(Add(Mul(Div(p, d), W), L));

    selection.setLeft(static_cast<float>(x));
    selection.setWidth(1);
    selection.setVisible(true);

    L = bar.Left();
    W = bar.Width();
    const QString path = sourcePathFromCaption();
    const double n = FileSize32(path);
    const double Ls = selection.Left(); // as the shape now reports it
    if (const auto frames = framesWhereNotLinear(path, n)) {
        const double t = cutTimes(L, W, Ls, selection.Width(), d).start;
        m_cut.StartOffset = fits32(firstByteAt(*frames, t));
    } else {
        m_cut.StartOffset = firstByteAfter(ToInt32(Mul(Div(Sub(Ls, L), W), n)));
    }
    m_cut.CutLength = -1;
}

void FrmMain::setEnd()
{
    if (m_cut.SourceFile.isEmpty())
        return;
    if (!startIsMarked())
        return;
    forgetListening();
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    const double p = player.controls().currentPosition();
    const double d = exactDuration();
    const double W = m_skin.Shape2->Width();
    const double Ls = m_skin.ShapXuan->Left();
    const double L = m_skin.Shape2->Left();
    applyEnd(ToInt32(Add(Sub(Mul(Div(p, d), W), Ls), L)), d);
}

void FrmMain::stretchToEnd()
{
    if (m_cut.SourceFile.isEmpty())
        return;
    if (!startIsMarked())
        return;
    forgetListening();
    const double Ls = m_skin.ShapXuan->Left();
    const double L = m_skin.Shape2->Left();
    const double W = m_skin.Shape2->Width();
    applyEnd(ToInt32(Add(Sub(W, Ls), L)), std::nullopt);
}

void FrmMain::forgetListening()
{
    // P paused at the end of the selection as it stood; marks that move call that off, and P
    // takes them afresh.
    m_skin.WindowsMediaPlayer1->controls().cancelPauseAt();
}

bool FrmMain::startIsMarked()
{
    // The visible selection is the sign that a start has been marked.
    if (!m_skin.ShapXuan->isHidden())
        return true;
    // Untitled, the box would carry the executable's name; desktops give it the program's.
    m_platform.messages->show(this, QStringLiteral("请先选择开始位置！"),
                              QString::fromUtf8(AppInfo::Title), MessageBoxes::Icon::None);
    return false;
}

void FrmMain::applyEnd(qint32 width, std::optional<double> duration)
{
    ShapeRect &selection = *m_skin.ShapXuan;
    // An end at or before the start only shrinks the selection; the last length stands.
    if (width < 1) {
        selection.setWidth(1);
        return;
    }
    selection.setWidth(static_cast<float>(width));
    const double W = m_skin.Shape2->Width();
    const QString path = sourcePathFromCaption();
    const double n = FileSize32(path);
    const double Ws = selection.Width(); // as the shape now reports it
    const auto frames = framesWhereNotLinear(path, n);
    if (!frames) {
        m_cut.CutLength = ToInt32(Mul(Div(Ws, W), n));
        return;
    }
    // Through the last byte of the frame playing at the end, or of the file.
    const qint64 last =
        duration
            ? lastByteAt(*frames,
                         cutTimes(m_skin.Shape2->Left(), W, selection.Left(), Ws, *duration).end)
            : frames->fileSize;
    // A start past the audio keeps a length, so the save reports the start, as the formulas do.
    m_cut.CutLength = fits32(std::max<qint64>(last - m_cut.StartOffset + 1, 1));
}

void FrmMain::startAnalysis(const QString &path)
{
    if (m_cancelAnalysis)
        m_cancelAnalysis->store(true);
    m_cancelAnalysis = std::make_shared<std::atomic_bool>(false);
    m_analysedPath = path;
    m_analysis = QtConcurrent::run(
        [path, cancel = m_cancelAnalysis]() -> std::shared_ptr<const Mp3Analysis> {
            try {
                return std::make_shared<const Mp3Analysis>(analyseMp3(path, cancel.get()));
            } catch (const AnalysisCancelled &) {
                return nullptr; // another file was opened
            } catch (const std::exception &error) {
                // The marks fall back to the formulas; the user is not troubled with it.
                qDebug("MP3 analysis of %s not used: %s", qPrintable(path), error.what());
                return nullptr;
            }
        });
    // The player seeks through the map and takes its exact length from it.
    auto *watcher = new QFutureWatcher<std::shared_ptr<const Mp3Analysis>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
        if (const auto frames = watcher->result(); frames && path == m_cut.SourceFile)
            m_skin.WindowsMediaPlayer1->setFrameMap(frames);
        watcher->deleteLater();
    });
    watcher->setFuture(m_analysis);
}

double FrmMain::exactDuration()
{
    // The player starts on an estimate of the length and learns the exact one from the frame
    // map; a mark made before it is ready waits for it.
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    if (auto frames = analysisFor(m_cut.SourceFile))
        player.setFrameMap(std::move(frames));
    return mediaDuration(player, m_cut.SourceFile);
}

std::shared_ptr<const Mp3Analysis> FrmMain::analysisFor(const QString &path)
{
    if (path != m_analysedPath || m_analysis.isCanceled() || !m_analysis.isValid())
        return nullptr;
    if (!m_analysis.isFinished()) {
        // Held back like the save: a command run inside the wait would act on a half-made mark.
        std::optional<InputHold> hold;
        if (!m_saving)
            hold.emplace(m_saving);
        QEventLoop loop;
        QFutureWatcher<std::shared_ptr<const Mp3Analysis>> watcher;
        connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(m_analysis);
        if (!m_analysis.isFinished())
            loop.exec();
    }
    return m_analysis.result();
}

std::shared_ptr<const Mp3Analysis> FrmMain::framesWhereNotLinear(const QString &path, double size)
{
    auto frames = analysisFor(path);
    // A file rewritten since it was opened is not the file that was mapped.
    if (!frames || frames->linear || static_cast<double>(frames->fileSize) != size)
        return nullptr;
    return frames;
}

void FrmMain::inform(const QString &text, const QString &title)
{
    m_platform.messages->show(this, text, title, MessageBoxes::Icon::Information);
}

void FrmMain::pumpEvents()
{
    QCoreApplication::processEvents();
}

bool FrmMain::rangeIsMarked()
{
    QString missing;
    if (m_cut.SourceFile.isEmpty())
        missing = QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！");
    else if (m_cut.StartOffset <= 0)
        missing = QStringLiteral("请选择开始位置！");
    else if (m_cut.CutLength <= 0)
        missing = QStringLiteral("请选择结束位置！");
    if (missing.isEmpty())
        return true;
    inform(missing, QStringLiteral("提示"));
    return false;
}

void FrmMain::saveCut()
{
    if (!rangeIsMarked())
        return;

    CmDialgS().ShowSave(this);
    const QString chosen = CmDialgS().FileName();
    if (chosen.isEmpty())
        return;
    // Another spelling of the source's path, or a link to it, must not be written over either.
    if (SameFile(chosen, m_cut.SourceFile))
        return inform(QStringLiteral("原文件路径及文件名不能和新文件路径及文件名相同！"),
                      QStringLiteral("操作错误！"));
    m_cut.TargetFile = chosen;

    // The clock and the player run nested during the copy; the save works on what it took here.
    const QString target = m_cut.TargetFile;
    const QString source = sourcePathFromCaption();
    const qint32 start = m_cut.StartOffset;
    const qint64 size = FileSize32(source);
    if (start > size)
        throw FileIoError(
            QStringLiteral("选定的范围超出了文件“%1”的末尾，没有写入任何内容。").arg(source));
    // Copy what the file holds; never pad the new file with bytes the source does not have.
    const qint32 count = static_cast<qint32>(std::min<qint64>(m_cut.CutLength, size - start + 1));
    const PieceHeader header = pieceHeaderFor(source, start, count, size);
    if (copyWithProgress(source, start, count, target, header) == CopyOutcome::Cancelled) {
        // Nothing was written: the marks stay, so the piece can be saved elsewhere.
        m_cut.TargetFile.clear();
        if (m_quitAfterSave) {
            m_quitAfterSave = false;
            close();
        }
        return;
    }

    inform(QStringLiteral("剪切成功！"), QStringLiteral("恭喜你！"));
    m_skin.ShapXuan->setVisible(false);
    m_cut.reset();
    // The file is saved; a player that cannot answer must not make that look like a failure.
    quietly("listening", [this] { forgetListening(); });
}

CopyOutcome FrmMain::copyWithProgress(const QString &source, qint32 start, qint32 count,
                                      const QString &target, const RangeEdits &edits)
{
    InputHold busy(m_saving);
    SaveProgress progress(this, QString::fromUtf8(AppInfo::Title), target, count);
    busy.letThrough(progress.window());
    busy.onCloseAttempt(this, [this] {
        if (m_platform.messages->ask(this, QStringLiteral("正在保存新文件，要取消保存并退出吗？"),
                                     QString::fromUtf8(AppInfo::Title)))
            m_quitAfterSave = true;
    });
    CopyOptions options;
    options.pumpEvents = [this] { pumpEvents(); };
    options.progress = [&progress](qint64 written, qint64) { progress.update(written); };
    options.cancelled = [this, &progress] { return m_quitAfterSave || progress.cancelled(); };
    options.edits = edits;
    return CopyByteRange(source, start, count, target, options);
}

PieceHeader FrmMain::pieceHeaderFor(const QString &source, qint32 start, qint32 count, qint64 size)
{
    // Without the file's map, or with a map of what the file was before it was rewritten, the
    // piece is the source's bytes alone, as it always was.
    const std::shared_ptr<const Mp3Analysis> analysis = analysisFor(source);
    if (!analysis || analysis->fileSize != size)
        return {};
    return readPieceHeader(*analysis, source, start - 1, qint64(start) + count - 2);
}

void FrmMain::togglePlayback()
{
    if (m_cut.SourceFile.isEmpty())
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
    const double d = exactDuration();
    // From the selection as the shapes report it, like the byte numbers of the range.
    const CutTimes times = cutTimes(m_skin.Shape2->Left(), m_skin.Shape2->Width(),
                                    m_skin.ShapXuan->Left(), m_skin.ShapXuan->Width(), d);
    MediaControls &controls = player.controls();
    controls.setCurrentPosition(times.start);
    controls.play();
    controls.pauseAt(times.end);
}

void FrmMain::seekBy(double seconds)
{
    if (m_cut.SourceFile.isEmpty())
        return;
    MediaPlayer &player = *m_skin.WindowsMediaPlayer1;
    const double length = player.currentMedia().duration();
    double target = std::max(0.0, player.controls().currentPosition() + seconds);
    if (length > 0)
        target = std::min(target, length);
    player.controls().setCurrentPosition(target);
}

void FrmMain::seekToBeginning()
{
    if (m_cut.SourceFile.isEmpty())
        return;
    m_skin.WindowsMediaPlayer1->controls().setCurrentPosition(0);
}

void FrmMain::showAbout()
{
    if (!m_about)
        m_about = std::make_unique<frmAbout>();
    m_about->showModal(this);
}
