#include "SlowDisk.h"
#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "ui/SaveProgress.h"
#include "ui/SkinControls.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The cutting workflow through the window's own command handlers, with the player, dialogs and
// message boxes replaced by doubles and real files on disk.
class TestCutting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openingPlaysAndClearsTheMarks();
    void cancellingTheOpenDialog();
    void captionLabelsRunTheButtonsCommands();
    void playStatesRewriteThePrefix_data();
    void playStatesRewriteThePrefix();
    void clockShowsPositionAndDuration();

    void workedExampleMarksAndSaves();
    void toEndOfFileCopiesThroughTheLastByte();
    void startAtTheBeginningCopiesTheFirstByte();
    void markingWithoutAFileDoesNothing();
    void endBeforeStartIsRefused();
    void startAgainDropsTheEnd();
    void positionPastTheDurationIsNotClamped();
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
    void openSource(const QString &path, double duration);
    QByteArray bytesOf(const QString &path);
    const RecordingMessageBoxes::Shown &lastMessage();
    QString markWholeSource(int size);

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePlatform *m_fake = nullptr;
    std::unique_ptr<FrmMain> m_window;
    QByteArray m_sourceBytes;
};

void TestCutting::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_fake = new FakePlatform;
    m_window = std::make_unique<FrmMain>(m_fake->take());
}

void TestCutting::cleanup()
{
    m_window.reset();
    delete m_fake;
    m_fake = nullptr;
    m_dir.reset();
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

void TestCutting::openSource(const QString &path, double duration)
{
    m_fake->open->answers << path;
    m_fake->player->length = duration;
    click(skinOf(*m_window).ImgOpenFile);
}

QByteArray TestCutting::bytesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
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
    click(skinOf(*m_window).ImgKaishi);
    QVERIFY(m_window->cutState().StartOffset > 0);

    const QString second = makeSource(QStringLiteral("second.mp3"), 2000);
    m_fake->player->calls.clear();
    openSource(second, 20);

    // Stopped and closed before the dialog, then handed the new file.
    QCOMPARE(m_fake->player->calls,
             (QStringList{QStringLiteral("stop"), QStringLiteral("close"), QStringLiteral("URL")}));
    QCOMPARE(m_fake->player->url, second);
    const CutState &cut = m_window->cutState();
    QCOMPARE(cut.SourceFile, second);
    QCOMPARE(cut.StartOffset, -1);
    QCOMPARE(cut.CutLength, -1);
    QVERIFY(cut.TargetFile.isEmpty());
    QCOMPARE(skinOf(*m_window).LabFname->Caption(), QStringLiteral("正在播放：") + second);
    QVERIFY(skinOf(*m_window).ShapXuan->isHidden());
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), 1.0f);
    QVERIFY(skinOf(*m_window).Timer1->isActive());
}

void TestCutting::cancellingTheOpenDialog()
{
    click(skinOf(*m_window).ImgOpenFile);
    QCOMPARE(m_fake->open->shown, 1);
    QCOMPARE(skinOf(*m_window).LabFname->Caption(), QStringLiteral("没有播放文件"));
    QVERIFY(!skinOf(*m_window).Timer1->isActive());
    QVERIFY(m_window->cutState().SourceFile.isEmpty());
    QVERIFY(m_fake->messages->shown.empty());

    // Cancelled over an open file: it plays on, with its marks.
    const QString path = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(path, 10);
    m_fake->player->position = 5;
    click(skinOf(*m_window).ImgKaishi);
    const CutState before = m_window->cutState();
    m_fake->player->calls.clear();
    click(skinOf(*m_window).ImgOpenFile);
    QCOMPARE(m_window->cutState().SourceFile, path);
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());
    QVERIFY(m_fake->player->calls.isEmpty());
    QVERIFY(skinOf(*m_window).Timer1->isActive());
}

void TestCutting::captionLabelsRunTheButtonsCommands()
{
    const QString path = makeSource(QStringLiteral("a.mp3"), 4935);
    m_fake->open->answers << path;
    m_fake->player->length = 100;
    QTest::mouseClick(skinOf(*m_window).Labdakai, Qt::LeftButton);
    QCOMPARE(m_window->cutState().SourceFile, path);

    m_fake->player->position = 50;
    QTest::mouseClick(skinOf(*m_window).Labkaishi, Qt::LeftButton);
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());
    QTest::mouseClick(skinOf(*m_window).Labwei, Qt::LeftButton);
    QVERIFY(m_window->cutState().CutLength > 0);

    // A right click presses the button but is no click.
    m_fake->save->answers << m_dir->filePath(QStringLiteral("cut.mp3"));
    QTest::mouseClick(skinOf(*m_window).LabBaocun, Qt::RightButton);
    QCOMPARE(m_fake->save->shown, 0);
    QTest::mouseClick(skinOf(*m_window).ImgSave, Qt::LeftButton);
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
    const QString caption = skinOf(*m_window).LabFname->Caption();
    QCOMPARE(caption, prefix + path);
    QCOMPARE(caption.mid(5), path);
}

void TestCutting::clockShowsPositionAndDuration()
{
    m_fake->player->durationText = QStringLiteral("03:20");
    m_fake->player->positionText = QStringLiteral("01:05");
    m_window->Timer1_Timer();
    QCOMPARE(skinOf(*m_window).LabTime->Caption(), QStringLiteral("01:05/03:20"));

    m_fake->player->positionText.clear();
    m_window->Timer1_Timer();
    QCOMPARE(skinOf(*m_window).LabTime->Caption(), QStringLiteral("00:00/03:20"));

    // A player that cannot answer leaves the label as it was and shows nothing.
    m_fake->player->broken = true;
    m_window->Timer1_Timer();
    QCOMPARE(skinOf(*m_window).LabTime->Caption(), QStringLiteral("00:00/03:20"));
    QVERIFY(m_fake->messages->shown.empty());

    // The clock really drives it once a file is open.
    m_fake->player->broken = false;
    openSource(makeSource(QStringLiteral("a.mp3"), 10), 1);
    m_fake->player->positionText = QStringLiteral("00:07");
    QTRY_COMPARE_WITH_TIMEOUT(skinOf(*m_window).LabTime->Caption(), QStringLiteral("00:07/03:20"),
                              3000);
}

void TestCutting::workedExampleMarksAndSaves()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    const MainWindowSkin &skin = skinOf(*m_window);

    m_fake->player->position = 45;
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(skin.ShapXuan->Left(), 1954.0f);
    QCOMPARE(skin.ShapXuan->Width(), 1.0f);
    QVERIFY(!skin.ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, 750153);
    QCOMPARE(m_window->cutState().CutLength, -1);

    m_fake->player->position = 90;
    click(skinOf(*m_window).ImgJiesu);
    QCOMPARE(skin.ShapXuan->Width(), 1234.0f); // 1233.5 goes to the even neighbour
    QCOMPARE(m_window->cutState().CutLength, 750152);

    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;
    const QStringList playerCallsBefore = m_fake->player->calls;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(lastMessage().title, QStringLiteral("恭喜你！"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(750153 - 1, 1500304 - 750153 + 1));

    // Done: the marking is gone, the file stays open, playback untouched.
    QVERIFY(skin.ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);
    QCOMPARE(m_window->cutState().CutLength, -1);
    QVERIFY(m_window->cutState().TargetFile.isEmpty());
    QCOMPARE(m_window->cutState().SourceFile, source);
    QCOMPARE(m_fake->player->calls, playerCallsBefore);

    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
}

void TestCutting::toEndOfFileCopiesThroughTheLastByte()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    m_fake->player->position = 45;
    click(skinOf(*m_window).ImgKaishi);
    m_fake->player->position = 1; // ignored: the end is the bar's right end
    click(skinOf(*m_window).ImgMowei);
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), 3701.0f);
    QCOMPARE(m_window->cutState().CutLength, 2249848);

    const QString target = m_dir->filePath(QStringLiteral("tail.mp3"));
    m_fake->save->answers << target;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(750153 - 1));
}

void TestCutting::startAtTheBeginningCopiesTheFirstByte()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    m_fake->player->position = 0;
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(skinOf(*m_window).ShapXuan->Left(), 720.0f);
    QCOMPARE(m_window->cutState().StartOffset, 1);
    click(skinOf(*m_window).ImgMowei);
    QCOMPARE(m_window->cutState().CutLength, 3000000);

    const QString target = m_dir->filePath(QStringLiteral("whole.mp3"));
    m_fake->save->answers << target;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(bytesOf(target), m_sourceBytes);
}

void TestCutting::markingWithoutAFileDoesNothing()
{
    m_fake->player->length = 100;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgJiesu);
    click(skinOf(*m_window).ImgMowei);
    QTest::mouseClick(skinOf(*m_window).Labkaishi, Qt::LeftButton);
    QVERIFY(m_fake->messages->shown.empty());
    QVERIFY(skinOf(*m_window).ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);
}

void TestCutting::endBeforeStartIsRefused()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    click(skinOf(*m_window).ImgJiesu);
    QCOMPARE(lastMessage().text, QStringLiteral("请先选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("Velquistmp3剪切器"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::None);
    click(skinOf(*m_window).ImgMowei);
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(skinOf(*m_window).ShapXuan->isHidden());

    m_fake->player->position = 50;
    click(skinOf(*m_window).ImgKaishi);
    m_fake->player->position = 40;
    click(skinOf(*m_window).ImgJiesu);
    QCOMPARE(lastMessage().text, QStringLiteral("结束位置必须在开始位置之后！"));
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), 1.0f);
    QCOMPARE(m_window->cutState().CutLength, -1);

    // After a good end, a later end before the start changes neither the range nor the length.
    m_fake->player->position = 60;
    click(skinOf(*m_window).ImgJiesu);
    const qint32 length = m_window->cutState().CutLength;
    const float width = skinOf(*m_window).ShapXuan->Width();
    QVERIFY(length > 0);
    m_fake->player->position = 10;
    click(skinOf(*m_window).ImgJiesu);
    QCOMPARE(lastMessage().text, QStringLiteral("结束位置必须在开始位置之后！"));
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), width);
    QCOMPARE(m_window->cutState().CutLength, length);
}

void TestCutting::startAgainDropsTheEnd()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    m_fake->player->position = 10;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    QVERIFY(m_window->cutState().CutLength > 0);
    m_fake->player->position = 20;
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(m_window->cutState().CutLength, -1);
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), 1.0f);
}

void TestCutting::positionPastTheDurationIsNotClamped()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 4935), 100);
    m_fake->player->position = 150;
    click(skinOf(*m_window).ImgKaishi);
    QVERIFY(skinOf(*m_window).ShapXuan->Left() > 720 + 4935);
    click(skinOf(*m_window).ImgMowei);
    QCOMPARE(lastMessage().text, QStringLiteral("结束位置必须在开始位置之后！"));
    QCOMPARE(skinOf(*m_window).ShapXuan->Width(), 1.0f);
    QCOMPARE(m_window->cutState().CutLength, -1);
}

void TestCutting::markingFailuresAreReportedAndSurvived()
{
    const QString source = makeSource(QStringLiteral("a%1%2.mp3"), 100000);
    openSource(source, 0); // the player cannot tell the length
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QCOMPARE(lastMessage().text, QStringLiteral("无法定位：播放器读不出文件“") + source +
                                     QStringLiteral("”的播放时长。"));
    QVERIFY(skinOf(*m_window).ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);

    m_fake->player->length = 100;
    m_fake->player->broken = true;
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(skinOf(*m_window).ShapXuan->isHidden());

    // The file vanishes after opening: the selection has moved, the numbers have not.
    m_fake->player->broken = false;
    m_fake->player->position = 50;
    QVERIFY(QFile::remove(source));
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(3));
    QVERIFY(lastMessage().text.contains(source));
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);
}

void TestCutting::saveRefusals()
{
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(m_fake->save->shown, 0);

    openSource(makeSource(QStringLiteral("a.mp3"), 1000), 10);
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("请选择结束位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    QCOMPARE(m_fake->save->shown, 0);
}

void TestCutting::saveToTheSourceIsRefused()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    const QString link = m_dir->filePath(QStringLiteral("link.mp3"));
    QVERIFY(QFile::link(source, link));
    openSource(source, 100);
    m_fake->player->position = 10;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState before = m_window->cutState();

    const QString otherSpelling = m_dir->path() + QStringLiteral("/sub/../a.mp3");
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    for (const QString &target : {source, link, otherSpelling}) {
        m_fake->save->answers << target;
        click(skinOf(*m_window).ImgSave);
        QCOMPARE(lastMessage().text,
                 QStringLiteral("原文件路径及文件名不能和新文件路径及文件名相同！"));
        QCOMPARE(lastMessage().title, QStringLiteral("操作错误！"));
        QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
        QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
        QCOMPARE(m_window->cutState().CutLength, before.CutLength);
        QVERIFY(m_window->cutState().TargetFile.isEmpty());
        QCOMPARE(bytesOf(source), m_sourceBytes);
    }
}

void TestCutting::cancelledSaveChangesNothing()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    m_fake->player->position = 10;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState before = m_window->cutState();
    click(skinOf(*m_window).ImgSave); // no answer: cancelled
    QCOMPARE(m_fake->save->shown, 1);
    QVERIFY(m_fake->messages->shown.empty());
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());
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
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState cut = m_window->cutState();
    m_fake->save->answers << target;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(cut.StartOffset - 1, cut.CutLength));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

void TestCutting::failedSaveKeepsTheMarkingAndTheOldTarget()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 20;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState before = m_window->cutState();

    // A folder that cannot exist: its parent is a regular file (holds for root too).
    const QString impossible = source + QStringLiteral("/cut.mp3");
    m_fake->save->answers << impossible;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QCOMPARE(m_window->cutState().TargetFile, impossible);
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());

    // A read-only existing target is refused and keeps its bytes.
    const QString readOnly = m_dir->filePath(QStringLiteral("keep.mp3"));
    {
        QFile keep(readOnly);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("precious");
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    m_fake->save->answers << readOnly;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    // About the new file, so the source is not named.
    QVERIFY(lastMessage().text.contains(readOnly));
    QVERIFY(!lastMessage().text.contains(source));
    QCOMPARE(bytesOf(readOnly), QByteArray("precious"));

    // The source disappears: reported, and the program goes on.
    QVERIFY(QFile::remove(source));
    m_fake->save->answers << m_dir->filePath(QStringLiteral("new.mp3"));
    click(skinOf(*m_window).ImgSave);
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
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState cut = m_window->cutState();

    // Another file copied over the source, of the same size or not: the marks no longer fit it.
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    for (const qint64 size : {qint64(100000), cut.StartOffset + qint64(99)}) {
        QFile::resize(source, size);
        QFile file(source);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        m_fake->save->answers << target;
        click(skinOf(*m_window).ImgSave);
        QVERIFY(lastMessage().text.startsWith(QStringLiteral("源文件已被改动，请重新打开。")));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(m_window->cutState().CutLength, cut.CutLength);
    }
    const size_t shown = m_fake->messages->shown.size();
    click(skinOf(*m_window).ImgKaishi);
    QCOMPARE(m_fake->messages->shown.size(), shown + 1);
    QVERIFY(lastMessage().text.startsWith(QStringLiteral("源文件已被改动，请重新打开。")));

    // Opened again, it is the file as it now stands.
    openSource(source, 100);
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    m_fake->save->answers << target;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
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
    QCOMPARE(m_window->cutState().SourceFile, small);
    QVERIFY(m_fake->player->calls.isEmpty());
}

void TestCutting::pathWithColonsAndSpacesSurvives()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("a: b：c"));
    const QString source = makeSource(QStringLiteral("a: b：c/歌 曲：1.mp3"), 10000);
    openSource(source, 10);
    m_fake->player->report(2);
    m_fake->player->position = 1;
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const CutState cut = m_window->cutState();
    QVERIFY(cut.CutLength > 0);
    const QString target = m_dir->filePath(QStringLiteral("a: b：c/新 文件.mp3"));
    m_fake->save->answers << target;
    click(skinOf(*m_window).ImgSave);
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(cut.StartOffset - 1, cut.CutLength));
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
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;

    // A click on "打开mp3" waiting in the queue, and a timer due, when the copy lets events run.
    SkinImage *open = skinOf(*m_window).ImgOpenFile;
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
        click(skinOf(*m_window).ImgOpenFile);
        if (QGuiApplication::overrideCursor())
            cursorDuringSave = QGuiApplication::overrideCursor()->shape();
    });
    const int opened = m_fake->open->shown;

    click(skinOf(*m_window).ImgSave);
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
    click(skinOf(*m_window).ImgKaishi);
    click(skinOf(*m_window).ImgMowei);
    return source;
}

void TestCutting::cancelledSaveKeepsTheMarksAndTheOldTarget()
{
    markWholeSource(8 << 20);
    const CutState before = m_window->cutState();
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
    click(skinOf(*m_window).ImgSave);

    QVERIFY(!shownEarly);
    QCOMPARE(title, QStringLiteral("Velquistmp3剪切器"));
    QVERIFY2(text.startsWith(QStringLiteral("正在保存到“%1”\n已写入 ").arg(target)),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(" / 8.0 MB，剩余约 ")), qPrintable(text));
    QVERIFY(m_fake->messages->shown.empty());
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(m_window->cutState().TargetFile.isEmpty());
    QVERIFY(!skinOf(*m_window).ShapXuan->isHidden());
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
    click(skinOf(*m_window).ImgSave);

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
