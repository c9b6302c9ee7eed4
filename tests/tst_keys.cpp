#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "platform/PlayerTransportBar.h"
#include "platform/QtMediaPlayer.h"
#include "ui/FrmAbout.h"
#include "ui/SkinControls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The window's keys, listening to the marked stretch, and what screen readers are told.
class TestKeys : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keysRunTheButtonsCommands_data();
    void keysRunTheButtonsCommands();
    void keysPassThePlayersOwnBar();
    void keysWaitWhileABoxIsUp();
    void movedMarksCallOffTheListening_data();
    void movedMarksCallOffTheListening();
    void seekKeysStayWithinTheFile();
    void nudgedMarksAreHeardAndStopAtTheLimits();
    void undoPutsBackEachSelectionEvenAfterASave();
    void tipsShowTheMarksAndThePath();
    void typedTimesSetTheMarksAndShowInTheTip();
    void buttonsAndStatusLabelsForScreenReaders();

private:
    void showWindow(Platform platform);
    void markRange(const QString &marked);
    QStringList effectsOf(const std::function<void()> &action);
};

void TestKeys::init()
{
    makeDoubles();
}

void TestKeys::cleanup()
{
    dropWindow();
}

void TestKeys::showWindow(Platform platform)
{
    m_window = std::make_unique<FrmMain>(std::move(platform));
    m_window->show();
    // Window-wide keys answer only in the active window.
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

// "none", "start" (at 45 s) or "range" (45 s to 90 s) of a 180-second file; the player then
// stands at 120 s.
void TestKeys::markRange(const QString &marked)
{
    if (marked == QLatin1String("none"))
        return;
    const QString path = m_dir->filePath(QStringLiteral("source.mp3"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(30000, 'x'));
    file.close();
    openSource(path, 180);
    m_fake->player->position = 45;
    click(skin().ImgKaishi);
    m_fake->player->position = 90;
    if (marked == QLatin1String("range"))
        click(skin().ImgJiesu);
    m_fake->player->position = 120;
}

// What an action did that a test can see: dialogs, boxes, player calls and the selection.
QStringList TestKeys::effectsOf(const std::function<void()> &action)
{
    const int opens = m_fake->open->shown, saves = m_fake->save->shown;
    const qsizetype calls = m_fake->player->calls.size();
    const size_t messages = m_fake->messages->shown.size();
    const ShapeRect &selection = *skin().ShapXuan;
    const float left = selection.Left(), width = selection.Width();

    QStringList effects;
    QTimer closeModal;
    connect(&closeModal, &QTimer::timeout, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            effects << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    closeModal.start(20);
    action();
    closeModal.stop();

    if (m_fake->open->shown != opens)
        effects << QStringLiteral("open");
    if (m_fake->save->shown != saves)
        effects << QStringLiteral("save");
    effects << m_fake->player->calls.mid(calls);
    for (size_t i = messages; i < m_fake->messages->shown.size(); ++i)
        effects << m_fake->messages->shown[i].text + QLatin1Char('|') +
                       m_fake->messages->shown[i].title;
    if (selection.Left() != left || selection.Width() != width)
        effects << QStringLiteral("selection %1+%2").arg(selection.Left()).arg(selection.Width());
    return effects;
}

void TestKeys::keysRunTheButtonsCommands_data()
{
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<qint32>("playState");
    QTest::addColumn<QStringList>("effects");
    const auto row = [](const char *name, QKeyCombination key, const char *marked,
                        QStringList effects, qint32 state = MediaPlayer::Stopped) {
        QTest::newRow(name) << key << QString::fromLatin1(marked) << state << effects;
    };
    // The dialog is cancelled: the file plays on with its marks.
    row("Ctrl+O opens", Qt::CTRL | Qt::Key_O, "range", {"open"});
    // At 120 s: x = int(120 / 180 * 4935 + 720) = 4010.
    row("B marks the start", Qt::Key_B, "range", {"selection 4010+1"});
    row("T asks for the times", Qt::Key_T, "range", {"MarkTimesDialog"});
    // w = int(120 / 180 * 4935 - 1954 + 720) = 2056.
    row("E marks the end", Qt::Key_E, "range", {"selection 1954+2056"});
    row("E wants a start", Qt::Key_E, "none", {});
    row("Shift+E runs to the end", Qt::SHIFT | Qt::Key_E, "start", {"selection 1954+3701"});
    row("Ctrl+S saves", Qt::CTRL | Qt::Key_S, "range", {"save"});
    row("Ctrl+S wants an end", Qt::CTRL | Qt::Key_S, "start", {"请选择结束位置！|提示"});
    row("F1 shows About", Qt::Key_F1, "none", {"frmAbout"});
    row("Space plays", Qt::Key_Space, "range", {"play"});
    row("Space pauses", Qt::Key_Space, "range", {"pause"}, MediaPlayer::Playing);
    row("Space without a file", Qt::Key_Space, "none", {});
    // 1234 / 4935 * 180 and 2468 / 4935 * 180 seconds.
    row("P plays the range", Qt::Key_P, "range", {"seek 45.009", "play", "pauseAt 90.018"});
    row("P wants a file", Qt::Key_P, "none", {"请先打开mp3文件！并定位开始位置和结束位置！|提示"});
    row("P wants an end", Qt::Key_P, "start", {"请选择结束位置！|提示"});
    // From 120 s, whatever the player is doing.
    row("Left steps back 5 s", Qt::Key_Left, "range", {"seek 115.000"}, MediaPlayer::Playing);
    row("Right steps on 5 s", Qt::Key_Right, "range", {"seek 125.000"}, MediaPlayer::Paused);
    row("Shift+Left steps back 1 s", Qt::SHIFT | Qt::Key_Left, "range", {"seek 119.000"});
    row("Shift+Right steps on 1 s", Qt::SHIFT | Qt::Key_Right, "range", {"seek 121.000"});
    row("Home goes to the beginning", Qt::Key_Home, "range", {"seek 0.000"});
    row("Right without a file", Qt::Key_Right, "none", {});
}

void TestKeys::keysRunTheButtonsCommands()
{
    QFETCH(QKeyCombination, key);
    QFETCH(QString, marked);
    QFETCH(qint32, playState);
    QFETCH(QStringList, effects);

    // With the focus nowhere in particular, then in the window's player.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            m_window.reset();
            delete m_fake;
            m_fake = new FakePlatform;
        }
        showWindow(m_fake->take());
        markRange(marked);
        m_fake->player->state = playState;
        QWidget *target = round == 0 ? static_cast<QWidget *>(m_window.get()) : m_fake->player;
        target->setFocus();
        QCOMPARE(effectsOf([&] { QTest::keyClick(target, key.key(), key.keyboardModifiers()); }),
                 effects);
    }
}

void TestKeys::keysPassThePlayersOwnBar()
{
    Platform platform = m_fake->take();
    delete m_fake->player;
    auto *player = new QtMediaPlayer;
    m_fake->player = nullptr;
    platform.player = player;
    showWindow(std::move(platform));
    PlayerTransportBar *bar = player->transportBar();
    QSignalSpy played(bar, &PlayerTransportBar::playRequested);

    // Space is play/pause everywhere; a focused button of the bar does not take it as a click.
    bar->playPauseButton()->setFocus();
    QTest::keyClick(bar->playPauseButton(), Qt::Key_Space);
    QCOMPARE(played.count(), 0);

    bar->seekSlider()->setFocus();
    QTest::keyClick(bar->seekSlider(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_fake->messages->shown.size(), size_t(1));
    QCOMPARE(m_fake->messages->shown[0].text,
             QStringLiteral("请先打开mp3文件！并定位开始位置和结束位置！"));
}

void TestKeys::keysWaitWhileABoxIsUp()
{
    showWindow(m_fake->take());
    bool tried = false;
    QTimer::singleShot(50, this, [&] {
        auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        QVERIFY(about);
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(m_window.get(), Qt::Key_P);
        QAccessible::queryAccessibleInterface(skin().ImgSave)
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        tried = true;
        about->close();
    });
    click(skin().ImgGuanyu);
    QVERIFY(tried);
    QVERIFY(m_fake->messages->shown.empty());
}

void TestKeys::movedMarksCallOffTheListening_data()
{
    QTest::addColumn<QKeyCombination>("key");
    QTest::newRow("B") << QKeyCombination(Qt::Key_B);
    QTest::newRow("E") << QKeyCombination(Qt::Key_E);
    QTest::newRow("Shift+E") << (Qt::SHIFT | Qt::Key_E);
}

void TestKeys::movedMarksCallOffTheListening()
{
    QFETCH(QKeyCombination, key);
    showWindow(m_fake->take());
    markRange(QStringLiteral("range"));
    QTest::keyClick(m_window.get(), Qt::Key_P);
    QCOMPARE(m_fake->player->pausesAt, 2468.0 / 4935.0 * 180.0);
    // Listening goes on from 45 s; the marks move at 100 s.
    m_fake->player->position = 100;
    QTest::keyClick(m_window.get(), key.key(), key.keyboardModifiers());
    QCOMPARE(m_fake->player->pausesAt, -1.0);
}

void TestKeys::seekKeysStayWithinTheFile()
{
    showWindow(m_fake->take());
    markRange(QStringLiteral("range"));
    m_fake->player->position = 2;
    QTest::keyClick(m_window.get(), Qt::Key_Left);
    QCOMPARE(m_fake->player->position, 0.0);
    m_fake->player->position = 178;
    m_fake->player->positionText = QStringLiteral("03:00");
    QTest::keyClick(m_window.get(), Qt::Key_Right);
    QCOMPARE(m_fake->player->position, 180.0);
    // The time text follows the seek at once, not at the clock's next tick.
    QVERIFY(skin().LabTime->Caption().startsWith(QStringLiteral("03:00/")));
}

void TestKeys::nudgedMarksAreHeardAndStopAtTheLimits()
{
    showWindow(m_fake->take());
    markRange(QStringLiteral("range"));
    const auto press = [this](QKeyCombination key) {
        const qsizetype calls = m_fake->player->calls.size();
        QTest::keyClick(m_window.get(), key.key(), key.keyboardModifiers());
        return m_fake->player->calls.mid(calls).join(QLatin1Char(' '));
    };
    // After each move the player plays the 2 s after the start, or up to the end.
    QCOMPARE(press(Qt::Key_S), QStringLiteral("seek 45.100 play pauseAt 47.100"));
    QCOMPARE(press(Qt::SHIFT | Qt::Key_A), QStringLiteral("seek 45.090 play pauseAt 47.090"));
    QCOMPARE(press(Qt::Key_L), QStringLiteral("seek 88.100 play pauseAt 90.100"));
    QCOMPARE(press(Qt::SHIFT | Qt::Key_K), QStringLiteral("seek 88.090 play pauseAt 90.090"));
    QCOMPARE(press(Qt::Key_F), QStringLiteral("seek 45.090 play pauseAt 47.090"));

    // Each mark stops at 0, the file's end and a hundredth short of the other mark.
    m_fake->player->position = 0.05;
    click(skin().ImgKaishi);
    QCOMPARE(press(Qt::Key_A), QStringLiteral("seek 0.000 play pauseAt 2.000"));
    QCOMPARE(press(Qt::Key_A), QString());
    m_fake->player->position = 0.08;
    click(skin().ImgJiesu);
    QCOMPARE(press(Qt::Key_S), QStringLiteral("seek 0.070 play pauseAt 2.070"));
    QCOMPARE(press(Qt::Key_S), QString());
    QCOMPARE(press(Qt::Key_K), QString());
    click(skin().ImgMowei);
    QCOMPARE(press(Qt::Key_L), QString());
    QCOMPARE(press(Qt::Key_K), QStringLiteral("seek 177.900 play pauseAt 179.900"));
    QCOMPARE(m_fake->messages->shown.size(), size_t(0));
}

void TestKeys::undoPutsBackEachSelectionEvenAfterASave()
{
    showWindow(m_fake->take());
    markRange(QStringLiteral("range"));
    const ShapeRect &selection = *skin().ShapXuan;
    const auto shown = [&selection] {
        return QStringLiteral("%1+%2 %3")
            .arg(selection.Left())
            .arg(selection.Width())
            .arg(selection.isVisible() ? "shown" : "hidden");
    };
    const QString marked = shown();
    QTest::keyClick(m_window.get(), Qt::Key_S);
    m_fake->player->position = 150;
    click(skin().ImgJiesu);
    QVERIFY(shown() != marked);
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shown(), marked);
    // The marks as pressed, to the sample: the start plays from 45 s again.
    QTest::keyClick(m_window.get(), Qt::Key_F);
    QCOMPARE(m_fake->player->calls.mid(m_fake->player->calls.size() - 3).first(),
             QStringLiteral("seek 45.000"));

    m_fake->save->answers << m_dir->filePath(QStringLiteral("piece.mp3"));
    click(skin().ImgSave);
    QCOMPARE(m_fake->messages->shown.back().text, QStringLiteral("剪切成功！"));
    QVERIFY(!selection.isVisible());
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shown(), marked);

    // A file opened anew starts without history.
    openSource(m_dir->filePath(QStringLiteral("source.mp3")), 180);
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!selection.isVisible());
}

void TestKeys::tipsShowTheMarksAndThePath()
{
    showWindow(m_fake->take());
    ShapeRect *selection = skin().ShapXuan;
    const auto tip = [selection] {
        QHelpEvent ask(QEvent::ToolTip, QPoint(0, 5), selection->mapToGlobal(QPoint(0, 5)));
        QApplication::sendEvent(selection, &ask);
        return selection->toolTip();
    };
    markRange(QStringLiteral("start"));
    QCOMPARE(tip(), QStringLiteral("开始 00:45.00；按 E 定位结束"));
    // The marks' samples, not the bar's twips, give the times.
    click(skin().ImgJiesu);
    QCOMPARE(tip(),
             QStringLiteral(
                 "开始 00:45.00，结束 02:00.00，时长 75.00 秒；按 P 试听，双击输入时间（T）"));
    QCOMPARE(skin().LabFname->toolTip(), m_dir->filePath(QStringLiteral("source.mp3")));
}

void TestKeys::typedTimesSetTheMarksAndShowInTheTip()
{
    showWindow(m_fake->take());
    markRange(QStringLiteral("range"));
    ShapeRect *selection = skin().ShapXuan;
    const auto tip = [selection] {
        QHelpEvent ask(QEvent::ToolTip, QPoint(0, 5), selection->mapToGlobal(QPoint(0, 5)));
        QApplication::sendEvent(selection, &ask);
        return selection->toolTip().section(QStringLiteral("；"), 0, 0);
    };
    const QString before = tip();
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (const char *name : {"start", "end"}) {
            auto *field = dialog->findChild<QAbstractSpinBox *>(QString::fromLatin1(name));
            field->selectAll();
            QTest::keyClicks(field, QString::fromLatin1(*name == 's' ? "0:46.25" : "1:30.5"));
        }
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    answer.start(20);
    QTest::mouseDClick(selection, Qt::LeftButton);
    QTRY_COMPARE(tip(), QStringLiteral("开始 00:46.25，结束 01:30.50，时长 44.25 秒"));
    answer.stop();
    // The offscreen platform gives the focus back to no one.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(tip(), before);
}

void TestKeys::buttonsAndStatusLabelsForScreenReaders()
{
    showWindow(m_fake->take());
    const MainWindowSkin skin = WindowFixture::skin();
    const std::pair<QWidget *, const char *> buttons[] = {
        {skin.ImgOpenFile, "打开mp3"},  {skin.Labdakai, "打开mp3"},  {skin.ImgKaishi, "定位开始"},
        {skin.Labkaishi, "定位开始"},   {skin.ImgJiesu, "定位结束"}, {skin.Labjiesu, "定位结束"},
        {skin.ImgMowei, "至文件尾"},    {skin.Labwei, "至文件尾"},   {skin.ImgSave, "保存新文件"},
        {skin.LabBaocun, "保存新文件"}, {skin.ImgGuanyu, "关于……"},  {skin.LabGuanyu, "关于……"},
    };
    for (const auto &[control, caption] : buttons) {
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(control);
        QVERIFY(button);
        QCOMPARE(button->role(), QAccessible::Button);
        QCOMPARE(button->text(QAccessible::Name), QString::fromUtf8(caption));
        // The tooltip says what it does and its key, for readers too.
        QVERIFY(control->toolTip().endsWith(QStringLiteral("）")));
    }

    // Pressing through the reader runs the command with its checks.
    QAccessible::queryAccessibleInterface(skin.LabBaocun)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(m_fake->messages->shown.size(), size_t(1));

    // The status labels are text that follows the caption (QLabel tells readers of each change).
    for (SkinLabel *label : {skin.LabFname, skin.LabTime}) {
        QAccessibleInterface *text = QAccessible::queryAccessibleInterface(label);
        QCOMPARE(text->role(), QAccessible::StaticText);
        label->setCaption(QStringLiteral("停止播放:/tmp/a.mp3"));
        QCOMPARE(text->text(QAccessible::Name), QStringLiteral("停止播放:/tmp/a.mp3"));
    }
}

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
