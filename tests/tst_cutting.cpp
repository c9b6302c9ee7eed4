#include "SlowDisk.h"
#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "mp3/Mp3Analysis.h"
#include "ui/SaveProgress.h"
#include "ui/SkinControls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The cutting workflow through the window's own command handlers, with the player, dialogs and
// message boxes replaced by doubles and real files on disk.
class TestCutting : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openingPlaysAndClearsTheMarks();
    void cancellingTheOpenDialog();
    void undecodableFileIsRefusedAtOpen();
    void captionLabelsRunTheButtonsCommands();
    void playStatesRewriteThePrefix_data();
    void playStatesRewriteThePrefix();
    void clockShowsPositionAndDuration();

    void workedExampleMarksAndSaves();
    void markingWithoutAFileDoesNothing();
    void endBeforeStartIsRefused();
    void markingFailuresAreReportedAndSurvived();

    void saveRefusals();
    void saveToTheSourceIsRefused();
    void cancelledSaveChangesNothing();
    void saveReplacesAnExistingTarget();
    void failedSaveKeepsTheMarkingAndTheOldTarget();
    void changedSourceIsRefused();
    void fileOverTwoGigabytesIsRefusedAtOpen();
    void pathWithColonsAndSpacesSurvives();
    void saveHoldsBackInputWhileTheClockRuns_data();
    void saveHoldsBackInputWhileTheClockRuns();
    void cancelledSaveKeepsTheMarksAndTheOldTarget();
    void closingDuringASaveAsks_data();
    void closingDuringASaveAsks();

private:
    QString makeSource(const QString &name, int size);
    QByteArray bytesOf(const QString &path);
    const RecordingMessageBoxes::Shown &lastMessage();
    // Saves the marked piece under a new name and gives its bytes; none when the save failed.
    QByteArray savedPiece();
    QString markWholeSource(int size);

    QByteArray m_sourceBytes;
};

void TestCutting::init()
{
    makeWindow();
}

void TestCutting::cleanup()
{
    dropWindow();
}

QString TestCutting::makeSource(const QString &name, int size)
{
    m_sourceBytes.resize(size);
    for (int i = 0; i < size; ++i)
        m_sourceBytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_sourceBytes) != size)
        qFatal("cannot write the source fixture");
    return path;
}

QByteArray TestCutting::bytesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray TestCutting::savedPiece()
{
    const QString target = m_dir->filePath(QStringLiteral("piece%1.mp3").arg(m_fake->save->shown));
    m_fake->save->answers << target;
    click(skin().ImgSave);
    return QFile::exists(target) ? bytesOf(target) : QByteArray();
}

const RecordingMessageBoxes::Shown &TestCutting::lastMessage()
{
    if (m_fake->messages->shown.empty())
        qFatal("no message was shown");
    return m_fake->messages->shown.back();
}

void TestCutting::openingPlaysAndClearsTheMarks()
{
    const QString first = makeSource(QStringLiteral("first.mp3"), 1000);
    openSource(first, 10);
    m_fake->player->position = 5;
    click(skin().ImgKaishi);
    QVERIFY(!skin().ShapXuan->isHidden());

    const QString second = makeSource(QStringLiteral("second.mp3"), 2000);
    m_fake->player->calls.clear();
    openSource(second, 20);

    // Stopped and closed before the dialog, then handed the new file.
    QCOMPARE(m_fake->player->calls,
             (QStringList{QStringLiteral("stop"), QStringLiteral("close"), QStringLiteral("URL")}));
    QCOMPARE(m_fake->player->url, second);
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("正在播放：") + second);
    QVERIFY(skin().ShapXuan->isHidden());
    QCOMPARE(skin().ShapXuan->Width(), 1.0f);
    QVERIFY(skin().Timer1->isActive());
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
}

void TestCutting::cancellingTheOpenDialog()
{
    click(skin().ImgOpenFile);
    QCOMPARE(m_fake->open->shown, 1);
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("没有播放文件"));
    QVERIFY(!skin().Timer1->isActive());
    QVERIFY(m_fake->messages->shown.empty());

    // Cancelled over an open file: it plays on, with its marks.
    const QString path = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(path, 10);
    m_fake->player->position = 5;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    m_fake->player->calls.clear();
    click(skin().ImgOpenFile);
    QVERIFY(!skin().ShapXuan->isHidden());
    QVERIFY(m_fake->player->calls.isEmpty());
    QVERIFY(skin().Timer1->isActive());
    // From int((3188 - 720) / 4935 * 100000) bytes on, to the end.
    QCOMPARE(savedPiece(), m_sourceBytes.mid(50010));
}

void TestCutting::undecodableFileIsRefusedAtOpen()
{
    // A file the player cannot decode: its words in a box, and the file before stays the source.
    const QString first = QStringLiteral(VELQUIST_FIXTURES "/tone-3s.mp3");
    openSource(first, 3);
    m_fake->player->undecodable = true;
    const QString second = makeSource(QStringLiteral("second.mp3"), 2000);
    openSource(second, 20);
    QCOMPARE(lastMessage().text, QStringLiteral("“%1”不是可以播放的 MP3 文件。").arg(second));
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("正在播放：") + first);

    // A mark of the file before waits for its frame map and hands it to the player.
    m_fake->player->position = 1;
    click(skin().ImgKaishi);
    QVERIFY(!m_fake->player->frameMaps.empty());
    QVERIFY(m_fake->player->frameMaps.back());
    QCOMPARE(m_fake->player->frameMaps.back()->fileSize, QFileInfo(first).size());
}

void TestCutting::captionLabelsRunTheButtonsCommands()
{
    const QString path = makeSource(QStringLiteral("a.mp3"), 4935);
    m_fake->open->answers << path;
    m_fake->player->length = 100;
    QTest::mouseClick(skin().Labdakai, Qt::LeftButton);
    QCOMPARE(m_fake->player->url, path);

    m_fake->player->position = 50;
    QTest::mouseClick(skin().Labkaishi, Qt::LeftButton);
    QVERIFY(!skin().ShapXuan->isHidden());
    QTest::mouseClick(skin().Labwei, Qt::LeftButton);
    QCOMPARE(skin().ShapXuan->Width(), 2467.0f); // from 3188 to the bar's right end

    // A right click presses the button but is no click.
    m_fake->save->answers << m_dir->filePath(QStringLiteral("cut.mp3"));
    QTest::mouseClick(skin().LabBaocun, Qt::RightButton);
    QCOMPARE(m_fake->save->shown, 0);
    QTest::mouseClick(skin().ImgSave, Qt::LeftButton);
    QCOMPARE(m_fake->save->shown, 1);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
}

void TestCutting::playStatesRewriteThePrefix_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("stopped") << 1 << QStringLiteral("停止播放:");
    QTest::newRow("paused") << 2 << QStringLiteral("暂停播放:");
    QTest::newRow("playing") << 3 << QStringLiteral("正在播放:");
    QTest::newRow("media ended: unchanged") << 8 << QStringLiteral("正在播放：");
    QTest::newRow("buffering: unchanged") << 6 << QStringLiteral("正在播放：");
}

void TestCutting::playStatesRewriteThePrefix()
{
    QFETCH(int, state);
    QFETCH(QString, prefix);
    const QString path = makeSource(QStringLiteral("a.mp3"), 10);
    openSource(path, 1);
    m_fake->player->report(state);
    const QString caption = skin().LabFname->Caption();
    QCOMPARE(caption, prefix + path);
    QCOMPARE(caption.mid(5), path);
}

void TestCutting::clockShowsPositionAndDuration()
{
    m_fake->player->durationText = QStringLiteral("03:20");
    m_fake->player->positionText = QStringLiteral("01:05");
    m_window->Timer1_Timer();
    QCOMPARE(skin().LabTime->Caption(), QStringLiteral("01:05/03:20"));

    m_fake->player->positionText.clear();
    m_window->Timer1_Timer();
    QCOMPARE(skin().LabTime->Caption(), QStringLiteral("00:00/03:20"));

    // A player that cannot answer leaves the label as it was and shows nothing.
    m_fake->player->broken = true;
    m_window->Timer1_Timer();
    QCOMPARE(skin().LabTime->Caption(), QStringLiteral("00:00/03:20"));
    QVERIFY(m_fake->messages->shown.empty());

    // The clock really drives it once a file is open.
    m_fake->player->broken = false;
    openSource(makeSource(QStringLiteral("a.mp3"), 10), 1);
    m_fake->player->positionText = QStringLiteral("00:07");
    QTRY_COMPARE_WITH_TIMEOUT(skin().LabTime->Caption(), QStringLiteral("00:07/03:20"), 3000);
}

void TestCutting::workedExampleMarksAndSaves()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    // The window hands the player's time to the cut and draws the selection it gets back.
    const ShapeRect &selection = *skin().ShapXuan;
    m_fake->player->position = 45;
    click(skin().ImgKaishi);
    QCOMPARE(selection.Left(), 1954.0f);
    QCOMPARE(selection.Width(), 1.0f);
    QVERIFY(!selection.isHidden());
    m_fake->player->position = 90;
    click(skin().ImgJiesu);
    QCOMPARE(selection.Width(), 1234.0f);

    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;
    const QStringList playerCallsBefore = m_fake->player->calls;
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(lastMessage().title, QStringLiteral("恭喜你！"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(750153 - 1, 1500304 - 750153 + 1));

    // Done: the marking is gone, the file stays open, playback untouched.
    QVERIFY(selection.isHidden());
    QCOMPARE(m_fake->player->calls, playerCallsBefore);

    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
}

void TestCutting::markingWithoutAFileDoesNothing()
{
    m_fake->player->length = 100;
    click(skin().ImgKaishi);
    click(skin().ImgJiesu);
    click(skin().ImgMowei);
    QTest::mouseClick(skin().Labkaishi, Qt::LeftButton);
    QVERIFY(m_fake->messages->shown.empty());
    QVERIFY(skin().ShapXuan->isHidden());
}

void TestCutting::endBeforeStartIsRefused()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    click(skin().ImgJiesu);
    QCOMPARE(lastMessage().text, QStringLiteral("请先选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("Velquistmp3剪切器"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::None);
    click(skin().ImgMowei);
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(skin().ShapXuan->isHidden());

    m_fake->player->position = 50;
    click(skin().ImgKaishi);
    m_fake->player->position = 40;
    click(skin().ImgJiesu);
    QCOMPARE(lastMessage().text, QStringLiteral("结束位置必须在开始位置之后！"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::None);
    QCOMPARE(skin().ShapXuan->Width(), 1.0f);
}

void TestCutting::markingFailuresAreReportedAndSurvived()
{
    const QString source = makeSource(QStringLiteral("a%1%2.mp3"), 100000);
    openSource(source, 0); // the player cannot tell the length
    click(skin().ImgKaishi);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QCOMPARE(lastMessage().text, QStringLiteral("无法定位：播放器读不出文件“") + source +
                                     QStringLiteral("”的播放时长。"));
    QVERIFY(skin().ShapXuan->isHidden());

    m_fake->player->length = 100;
    m_fake->player->broken = true;
    click(skin().ImgKaishi);
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(skin().ShapXuan->isHidden());
}

void TestCutting::saveRefusals()
{
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(m_fake->save->shown, 0);

    openSource(makeSource(QStringLiteral("a.mp3"), 1000), 10);
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    click(skin().ImgKaishi);
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择结束位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    QCOMPARE(m_fake->save->shown, 0);
}

void TestCutting::saveToTheSourceIsRefused()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 10;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    // Under another spelling too.
    m_fake->save->answers << m_dir->path() + QStringLiteral("/./a.mp3");
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text,
             QStringLiteral("原文件路径及文件名不能和新文件路径及文件名相同！"));
    QCOMPARE(lastMessage().title, QStringLiteral("操作错误！"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(bytesOf(source), m_sourceBytes);
    // The marks stay for another try.
    QCOMPARE(savedPiece(), m_sourceBytes.mid(10010));
}

void TestCutting::cancelledSaveChangesNothing()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    m_fake->player->position = 10;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    click(skin().ImgSave); // no answer: cancelled
    QCOMPARE(m_fake->save->shown, 1);
    QVERIFY(m_fake->messages->shown.empty());
    QVERIFY(!skin().ShapXuan->isHidden());
    QCOMPARE(savedPiece(), m_sourceBytes.mid(10010));
}

void TestCutting::saveReplacesAnExistingTarget()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    const QString target = m_dir->filePath(QStringLiteral("old.mp3"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500000, 'x'));
    }
    m_fake->player->position = 50;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    m_fake->save->answers << target;
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(50010));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

void TestCutting::failedSaveKeepsTheMarkingAndTheOldTarget()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 20;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);

    // A folder that cannot exist: its parent is a regular file (holds for root too).
    const QString impossible = source + QStringLiteral("/cut.mp3");
    m_fake->save->answers << impossible;
    click(skin().ImgSave);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QVERIFY(!skin().ShapXuan->isHidden());

    // A read-only existing target is refused and keeps its bytes.
    const QString readOnly = m_dir->filePath(QStringLiteral("keep.mp3"));
    {
        QFile keep(readOnly);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("precious");
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    m_fake->save->answers << readOnly;
    click(skin().ImgSave);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    // About the new file, so the source is not named.
    QVERIFY(lastMessage().text.contains(readOnly));
    QVERIFY(!lastMessage().text.contains(source));
    QCOMPARE(bytesOf(readOnly), QByteArray("precious"));

    // The source disappears: reported, and the program goes on.
    QVERIFY(QFile::remove(source));
    m_fake->save->answers << m_dir->filePath(QStringLiteral("new.mp3"));
    click(skin().ImgSave);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QVERIFY(lastMessage().text.contains(source));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("new.mp3"))));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 1);
}

void TestCutting::changedSourceIsRefused()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 50;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    // Another file copied over the source: the marks no longer fit it.
    QVERIFY(QFile::resize(source, 50100));
    const size_t shown = m_fake->messages->shown.size();
    QVERIFY(savedPiece().isEmpty());
    click(skin().ImgKaishi);
    QCOMPARE(m_fake->messages->shown.size(), shown + 2);
    for (size_t i = shown; i < shown + 2; ++i)
        QVERIFY(m_fake->messages->shown[i].text.startsWith(
            QStringLiteral("源文件已被改动，请重新打开。")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"a.mp3"});
}

void TestCutting::fileOverTwoGigabytesIsRefusedAtOpen()
{
    const QString small = makeSource(QStringLiteral("a.mp3"), 1000);
    openSource(small, 10);
    const QString large = m_dir->filePath(QStringLiteral("large.mp3"));
    QFile file(large);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(1) << 31)); // sparse: takes no room
    file.close();
    m_fake->player->calls.clear();
    openSource(large, 10);
    QVERIFY(lastMessage().text.contains(QStringLiteral("2 GB")));
    QVERIFY(lastMessage().text.contains(large));
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("正在播放：") + small);
    QVERIFY(m_fake->player->calls.isEmpty());
}

void TestCutting::pathWithColonsAndSpacesSurvives()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("a: b：c"));
    const QString source = makeSource(QStringLiteral("a: b：c/歌 曲：1.mp3"), 10000);
    openSource(source, 10);
    m_fake->player->report(2);
    m_fake->player->position = 1;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    const QString target = m_dir->filePath(QStringLiteral("a: b：c/新 文件.mp3"));
    m_fake->save->answers << target;
    click(skin().ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(1001));
}

void TestCutting::saveHoldsBackInputWhileTheClockRuns_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("save succeeds") << true;
    QTest::newRow("save fails") << false;
}

void TestCutting::saveHoldsBackInputWhileTheClockRuns()
{
    QFETCH(bool, succeeds);
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 20;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;

    // A click on "打开mp3" waiting in the queue, and a timer due, when the copy lets events run.
    SkinImage *open = skin().ImgOpenFile;
    const QPointF inside(5, 5);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(open, new QMouseEvent(type, inside, open->mapToGlobal(inside),
                                                          Qt::LeftButton, Qt::LeftButton,
                                                          Qt::NoModifier));
    int ticks = 0;
    Qt::CursorShape cursorDuringSave = Qt::ArrowCursor;
    QTimer::singleShot(0, m_window.get(), [&] {
        ++ticks;
        // Something takes the target's name while the copy runs: the save fails at its end.
        if (!succeeds)
            QDir().mkdir(target);
        // A press that bypasses input, as a screen reader's does.
        click(skin().ImgOpenFile);
        if (QGuiApplication::overrideCursor())
            cursorDuringSave = QGuiApplication::overrideCursor()->shape();
    });
    const int opened = m_fake->open->shown;

    click(skin().ImgSave);
    QCOMPARE(lastMessage().title, succeeds ? QStringLiteral("恭喜你！") : QStringLiteral("错误"));
    QCOMPARE(ticks, 1);
    QCOMPARE(cursorDuringSave, Qt::WaitCursor);
    QVERIFY(!QGuiApplication::overrideCursor());
    // The click was dropped, not kept for later.
    QCoreApplication::processEvents();
    QCOMPARE(m_fake->open->shown, opened);
    QCOMPARE(QFileInfo(target).isDir(), !succeeds);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             QStringList{"a.mp3"} + (succeeds ? QStringList{"cut.mp3"} : QStringList{}));
}

// A source of `size` bytes, open and marked from its start to its end.
QString TestCutting::markWholeSource(int size)
{
    const QString source = makeSource(QStringLiteral("a.mp3"), size);
    openSource(source, 100);
    m_fake->player->position = 0.01;
    click(skin().ImgKaishi);
    click(skin().ImgMowei);
    return source;
}

void TestCutting::cancelledSaveKeepsTheMarksAndTheOldTarget()
{
    markWholeSource(8 << 20);
    const QString target = m_dir->filePath(QStringLiteral("old.mp3"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    m_fake->save->answers << target;
    const QStringList playerCalls = m_fake->player->calls;
    const SlowDisk usbStick(10'000'000, 0); // about 0.8 s for the copy

    // Not at once, but well before the end the progress window is up; the user presses Esc.
    bool shownEarly = true;
    QTimer::singleShot(300, m_window.get(), [&] {
        shownEarly = m_window->findChild<QProgressDialog *>(SaveProgress::ObjectName)->isVisible();
    });
    QString title;
    QString text;
    QTimer::singleShot(700, m_window.get(), [&] {
        auto *progress = m_window->findChild<QProgressDialog *>(SaveProgress::ObjectName);
        if (!progress || !progress->isVisible())
            return;
        title = progress->windowTitle();
        text = progress->labelText();
        QTest::keyClick(progress, Qt::Key_Escape);
    });
    click(skin().ImgSave);

    QVERIFY(!shownEarly);
    QCOMPARE(title, QStringLiteral("Velquistmp3剪切器"));
    QVERIFY2(text.startsWith(QStringLiteral("正在保存到“%1”\n已写入 ").arg(target)),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(" / 8.0 MB，剩余约 ")), qPrintable(text));
    QVERIFY(m_fake->messages->shown.empty());
    QVERIFY(!skin().ShapXuan->isHidden());
    QCOMPARE(m_fake->player->calls, playerCalls);
    QCOMPARE(bytesOf(target), QByteArray("old"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList{"a.mp3", "old.mp3"}));
    QVERIFY(!m_window->findChild<QProgressDialog *>());
}

void TestCutting::closingDuringASaveAsks_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("否: the save goes on") << false;
    QTest::newRow("是: cancelled, then closed") << true;
}

void TestCutting::closingDuringASaveAsks()
{
    QFETCH(bool, quit);
    markWholeSource(3 << 20);
    m_window->show();
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;
    m_fake->messages->answer = quit;
    const SlowDisk usbStick(10'000'000, 0);
    QTimer::singleShot(100, m_window.get(), [&] { m_window->close(); });
    click(skin().ImgSave);

    QCOMPARE(m_fake->messages->asked,
             QStringList{QStringLiteral("正在保存新文件，要取消保存并退出吗？")});
    QCOMPARE(m_window->isVisible(), !quit);
    if (quit) {
        QVERIFY(m_fake->messages->shown.empty());
        QVERIFY(!QFile::exists(target));
    } else {
        QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
        QCOMPARE(bytesOf(target), m_sourceBytes);
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             QStringList{"a.mp3"} + (quit ? QStringList{} : QStringList{"cut.mp3"}));
}

QTEST_MAIN(TestCutting)
#include "tst_cutting.moc"
