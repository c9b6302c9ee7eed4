#include "FakePlatform.h"
#include "SlowDisk.h"

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
class TestCutting : public QObject
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
    void toEndOfFileCopiesThroughTheLastByte();
    void startAtTheBeginningCopiesTheFirstByte();
    void markingWithoutAFileDoesNothing();
    void endBeforeStartIsRefusedOrShrinks();
    void startAgainDropsTheEnd();
    void positionPastTheDurationIsNotClamped();
    void markingFailuresAreReportedAndSurvived();

    void saveRefusals();
    void saveToTheSourceIsRefused();
    void cancelledSaveChangesNothing();
    void saveReplacesAnExistingTarget();
    void failedSaveKeepsTheMarkingAndTheOldTarget();
    void rangePastTheEndIsClippedOrRefused();
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
    m_window->ImgOpenFile_Click();
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
    m_window->ImgKaishi_Click();
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
    QCOMPARE(m_window->skin().LabFname->Caption(), QStringLiteral("正在播放：") + second);
    QVERIFY(m_window->skin().ShapXuan->isHidden());
    QCOMPARE(m_window->skin().ShapXuan->Width(), 1.0f);
    QVERIFY(m_window->skin().Timer1->isActive());
}

void TestCutting::cancellingTheOpenDialog()
{
    m_window->ImgOpenFile_Click();
    QCOMPARE(m_fake->open->shown, 1);
    QCOMPARE(m_window->skin().LabFname->Caption(), QStringLiteral("没有播放文件"));
    QVERIFY(!m_window->skin().Timer1->isActive());
    QVERIFY(m_window->cutState().SourceFile.isEmpty());
    QVERIFY(m_fake->messages->shown.empty());

    const QString path = makeSource(QStringLiteral("a.mp3"), 100);
    openSource(path, 10);
    m_window->ImgKaishi_Click();
    m_window->ImgOpenFile_Click(); // cancelled again
    QCOMPARE(m_window->cutState().SourceFile, path);
    QCOMPARE(m_window->cutState().StartOffset, -1);
    QVERIFY(m_window->skin().ShapXuan->isHidden());
    QVERIFY(m_window->skin().Timer1->isActive());
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
    QCOMPARE(m_window->cutState().SourceFile, first);
    QCOMPARE(m_window->skin().LabFname->Caption(), QStringLiteral("正在播放：") + first);

    // A mark of the file before waits for its frame map and hands it to the player.
    m_fake->player->position = 1;
    m_window->ImgKaishi_Click();
    QVERIFY(!m_fake->player->frameMaps.empty());
    QVERIFY(m_fake->player->frameMaps.back());
    QCOMPARE(m_fake->player->frameMaps.back()->fileSize, QFileInfo(first).size());
}

void TestCutting::captionLabelsRunTheButtonsCommands()
{
    const QString path = makeSource(QStringLiteral("a.mp3"), 4935);
    m_fake->open->answers << path;
    m_fake->player->length = 100;
    QTest::mouseClick(m_window->skin().Labdakai, Qt::LeftButton);
    QCOMPARE(m_window->cutState().SourceFile, path);

    m_fake->player->position = 50;
    QTest::mouseClick(m_window->skin().Labkaishi, Qt::LeftButton);
    QVERIFY(!m_window->skin().ShapXuan->isHidden());
    QTest::mouseClick(m_window->skin().Labwei, Qt::LeftButton);
    QVERIFY(m_window->cutState().CutLength > 0);

    // A right click presses the button but is no click.
    m_fake->save->answers << m_dir->filePath(QStringLiteral("cut.mp3"));
    QTest::mouseClick(m_window->skin().LabBaocun, Qt::RightButton);
    QCOMPARE(m_fake->save->shown, 0);
    QTest::mouseClick(m_window->skin().ImgSave, Qt::LeftButton);
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
    const QString caption = m_window->skin().LabFname->Caption();
    QCOMPARE(caption, prefix + path);
    QCOMPARE(caption.mid(5), path);
}

void TestCutting::clockShowsPositionAndDuration()
{
    m_fake->player->durationText = QStringLiteral("03:20");
    m_fake->player->positionText = QStringLiteral("01:05");
    m_window->Timer1_Timer();
    QCOMPARE(m_window->skin().LabTime->Caption(), QStringLiteral("01:05/03:20"));

    m_fake->player->positionText.clear();
    m_window->Timer1_Timer();
    QCOMPARE(m_window->skin().LabTime->Caption(), QStringLiteral("00:00/03:20"));

    // A player that cannot answer leaves the label as it was and shows nothing.
    m_fake->player->broken = true;
    m_window->Timer1_Timer();
    QCOMPARE(m_window->skin().LabTime->Caption(), QStringLiteral("00:00/03:20"));
    QVERIFY(m_fake->messages->shown.empty());

    // The clock really drives it once a file is open.
    m_fake->player->broken = false;
    openSource(makeSource(QStringLiteral("a.mp3"), 10), 1);
    m_fake->player->positionText = QStringLiteral("00:07");
    QTRY_COMPARE_WITH_TIMEOUT(m_window->skin().LabTime->Caption(), QStringLiteral("00:07/03:20"),
                              3000);
}

void TestCutting::workedExampleMarksAndSaves()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    const MainWindowSkin &skin = m_window->skin();

    m_fake->player->position = 45;
    m_window->ImgKaishi_Click();
    QCOMPARE(skin.ShapXuan->Left(), 1954.0f);
    QCOMPARE(skin.ShapXuan->Width(), 1.0f);
    QVERIFY(!skin.ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, 750153);
    QCOMPARE(m_window->cutState().CutLength, -1);

    m_fake->player->position = 90;
    m_window->ImgJiesu_Click();
    QCOMPARE(skin.ShapXuan->Width(), 1234.0f); // 1233.5 goes to the even neighbour
    QCOMPARE(m_window->cutState().CutLength, 750152);

    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;
    const QStringList playerCallsBefore = m_fake->player->calls;
    m_window->ImgSave_Click();
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

    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
}

void TestCutting::toEndOfFileCopiesThroughTheLastByte()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    m_fake->player->position = 45;
    m_window->ImgKaishi_Click();
    m_fake->player->position = 1; // ignored: the end is the bar's right end
    m_window->ImgMowei_Click();
    QCOMPARE(m_window->skin().ShapXuan->Width(), 3701.0f);
    QCOMPARE(m_window->cutState().CutLength, 2249848);

    const QString target = m_dir->filePath(QStringLiteral("tail.mp3"));
    m_fake->save->answers << target;
    m_window->ImgSave_Click();
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(750153 - 1));
}

void TestCutting::startAtTheBeginningCopiesTheFirstByte()
{
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    openSource(source, 180);
    m_fake->player->position = 0;
    m_window->ImgKaishi_Click();
    QCOMPARE(m_window->skin().ShapXuan->Left(), 720.0f);
    QCOMPARE(m_window->cutState().StartOffset, 1);
    m_window->ImgMowei_Click();
    QCOMPARE(m_window->cutState().CutLength, 3000000);

    const QString target = m_dir->filePath(QStringLiteral("whole.mp3"));
    m_fake->save->answers << target;
    m_window->ImgSave_Click();
    QCOMPARE(bytesOf(target), m_sourceBytes);
}

void TestCutting::markingWithoutAFileDoesNothing()
{
    m_fake->player->length = 100;
    m_window->ImgKaishi_Click();
    m_window->ImgJiesu_Click();
    m_window->ImgMowei_Click();
    QTest::mouseClick(m_window->skin().Labkaishi, Qt::LeftButton);
    QVERIFY(m_fake->messages->shown.empty());
    QVERIFY(m_window->skin().ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);
}

void TestCutting::endBeforeStartIsRefusedOrShrinks()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    m_window->ImgJiesu_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("请先选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("Velquistmp3剪切器"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::None);
    m_window->ImgMowei_Click();
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(m_window->skin().ShapXuan->isHidden());

    m_fake->player->position = 50;
    m_window->ImgKaishi_Click();
    m_fake->player->position = 40;
    m_window->ImgJiesu_Click();
    QCOMPARE(m_window->skin().ShapXuan->Width(), 1.0f);
    QCOMPARE(m_window->cutState().CutLength, -1);
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("请选择结束位置！"));

    // After a good end, a later end before the start keeps the last length.
    m_fake->player->position = 60;
    m_window->ImgJiesu_Click();
    const qint32 length = m_window->cutState().CutLength;
    QVERIFY(length > 0);
    m_fake->player->position = 10;
    m_window->ImgJiesu_Click();
    QCOMPARE(m_window->skin().ShapXuan->Width(), 1.0f);
    QCOMPARE(m_window->cutState().CutLength, length);
}

void TestCutting::startAgainDropsTheEnd()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 100000), 100);
    m_fake->player->position = 10;
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    QVERIFY(m_window->cutState().CutLength > 0);
    m_fake->player->position = 20;
    m_window->ImgKaishi_Click();
    QCOMPARE(m_window->cutState().CutLength, -1);
    QCOMPARE(m_window->skin().ShapXuan->Width(), 1.0f);
}

void TestCutting::positionPastTheDurationIsNotClamped()
{
    openSource(makeSource(QStringLiteral("a.mp3"), 4935), 100);
    m_fake->player->position = 150;
    m_window->ImgKaishi_Click();
    QVERIFY(m_window->skin().ShapXuan->Left() > 720 + 4935);
    m_window->ImgMowei_Click();
    QCOMPARE(m_window->skin().ShapXuan->Width(), 1.0f);
    QCOMPARE(m_window->cutState().CutLength, -1);
}

void TestCutting::markingFailuresAreReportedAndSurvived()
{
    const QString source = makeSource(QStringLiteral("a%1%2.mp3"), 100000);
    openSource(source, 0); // the player cannot tell the length
    m_window->ImgKaishi_Click();
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QCOMPARE(lastMessage().text, QStringLiteral("无法定位：播放器读不出文件“") + source +
                                     QStringLiteral("”的播放时长。"));
    QVERIFY(m_window->skin().ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);

    m_fake->player->length = 100;
    m_fake->player->broken = true;
    m_window->ImgKaishi_Click();
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(2));
    QVERIFY(m_window->skin().ShapXuan->isHidden());

    // The file vanishes after opening: the selection has moved, the numbers have not.
    m_fake->player->broken = false;
    m_fake->player->position = 50;
    QVERIFY(QFile::remove(source));
    m_window->ImgKaishi_Click();
    QCOMPARE(m_fake->messages->shown.size(), std::size_t(3));
    QVERIFY(lastMessage().text.contains(source));
    QVERIFY(!m_window->skin().ShapXuan->isHidden());
    QCOMPARE(m_window->cutState().StartOffset, -1);
}

void TestCutting::saveRefusals()
{
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Information);
    QCOMPARE(m_fake->save->shown, 0);

    openSource(makeSource(QStringLiteral("a.mp3"), 1000), 10);
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("请选择开始位置！"));
    QCOMPARE(lastMessage().title, QStringLiteral("提示"));
    m_window->ImgKaishi_Click();
    m_window->ImgSave_Click();
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
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState before = m_window->cutState();

    const QString otherSpelling = m_dir->path() + QStringLiteral("/sub/../a.mp3");
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    for (const QString &target : {source, link, otherSpelling}) {
        m_fake->save->answers << target;
        m_window->ImgSave_Click();
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
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState before = m_window->cutState();
    m_window->ImgSave_Click(); // no answer: cancelled
    QCOMPARE(m_fake->save->shown, 1);
    QVERIFY(m_fake->messages->shown.empty());
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(!m_window->skin().ShapXuan->isHidden());
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
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState cut = m_window->cutState();
    m_fake->save->answers << target;
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(cut.StartOffset - 1, cut.CutLength));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

void TestCutting::failedSaveKeepsTheMarkingAndTheOldTarget()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 20;
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState before = m_window->cutState();

    // A folder that cannot exist: its parent is a regular file (holds for root too).
    const QString impossible = source + QStringLiteral("/cut.mp3");
    m_fake->save->answers << impossible;
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QCOMPARE(lastMessage().icon, MessageBoxes::Icon::Critical);
    QCOMPARE(m_window->cutState().TargetFile, impossible);
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(!m_window->skin().ShapXuan->isHidden());

    // A read-only existing target is refused and keeps its bytes.
    const QString readOnly = m_dir->filePath(QStringLiteral("keep.mp3"));
    {
        QFile keep(readOnly);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("precious");
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    m_fake->save->answers << readOnly;
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    // About the new file, so the source is not named.
    QVERIFY(lastMessage().text.contains(readOnly));
    QVERIFY(!lastMessage().text.contains(source));
    QCOMPARE(bytesOf(readOnly), QByteArray("precious"));

    // The source disappears: reported, and the program goes on.
    QVERIFY(QFile::remove(source));
    m_fake->save->answers << m_dir->filePath(QStringLiteral("new.mp3"));
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QVERIFY(lastMessage().text.contains(source));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("new.mp3"))));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 1);
}

void TestCutting::rangePastTheEndIsClippedOrRefused()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    openSource(source, 100);
    m_fake->player->position = 50;
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState cut = m_window->cutState();

    // The file shrinks behind the player's back: only what is there is copied.
    QFile::resize(source, cut.StartOffset + 99);
    const QString target = m_dir->filePath(QStringLiteral("short.mp3"));
    m_fake->save->answers << target;
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().text, QStringLiteral("剪切成功！"));
    QCOMPARE(bytesOf(target), m_sourceBytes.mid(cut.StartOffset - 1, 100));

    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    QFile::resize(source, 10);
    const QString nothing = m_dir->filePath(QStringLiteral("nothing.mp3"));
    m_fake->save->answers << nothing;
    m_window->ImgSave_Click();
    QCOMPARE(lastMessage().title, QStringLiteral("错误"));
    QVERIFY(!QFile::exists(nothing));
}

void TestCutting::pathWithColonsAndSpacesSurvives()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("a: b：c"));
    const QString source = makeSource(QStringLiteral("a: b：c/歌 曲：1.mp3"), 10000);
    openSource(source, 10);
    m_fake->player->report(2);
    m_fake->player->position = 1;
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const CutState cut = m_window->cutState();
    QVERIFY(cut.CutLength > 0);
    const QString target = m_dir->filePath(QStringLiteral("a: b：c/新 文件.mp3"));
    m_fake->save->answers << target;
    m_window->ImgSave_Click();
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
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    m_fake->save->answers << target;

    // A click on "打开mp3" waiting in the queue, and a timer due, when the copy lets events run.
    SkinImage *open = m_window->skin().ImgOpenFile;
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
        m_window->ImgOpenFile_Click();
        if (QGuiApplication::overrideCursor())
            cursorDuringSave = QGuiApplication::overrideCursor()->shape();
    });
    const int opened = m_fake->open->shown;

    m_window->ImgSave_Click();
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
    m_window->ImgKaishi_Click();
    m_window->ImgMowei_Click();
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
    m_window->ImgSave_Click();

    QVERIFY(!shownEarly);
    QCOMPARE(title, QStringLiteral("Velquistmp3剪切器"));
    QVERIFY2(text.startsWith(QStringLiteral("正在保存到“%1”\n已写入 ").arg(target)),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(" / 8.0 MB，剩余约 ")), qPrintable(text));
    QVERIFY(m_fake->messages->shown.empty());
    QCOMPARE(m_window->cutState().StartOffset, before.StartOffset);
    QCOMPARE(m_window->cutState().CutLength, before.CutLength);
    QVERIFY(m_window->cutState().TargetFile.isEmpty());
    QVERIFY(!m_window->skin().ShapXuan->isHidden());
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
    m_window->ImgSave_Click();

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
