#include "LongTone.h"
#include "WindowFixture.h"
#include "app/FrmMain.h"
#include "platform/PlayerTransportBar.h"
#include "platform/QtMediaPlayer.h"
#include "ui/SkinControls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

// The player with a sound server of its own that the test stops, kills and starts again. Without
// sound the player runs on the clock, and the window marks and saves as ever.
class TestSoundLoss : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void serverThatComesLaterIsHeard();
    void stoppedServerHoldsNothing();
    void killedServerComesBack();
    void withoutServerMarksAndSaves();

private:
    bool startServer();
    void stopServer();
    // The longest the window's thread went without running its events while `step` ran.
    qint64 longestStall(const std::function<bool()> &until, int timeout);

    QTemporaryDir m_runtime;
    QProcess m_server;
    QTemporaryDir m_files;
    QString m_tones;
};

void TestSoundLoss::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    // Set before Qt first speaks to a sound server, which happens with the first play.
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(m_runtime.filePath("native")));
    m_tones = m_files.filePath(QStringLiteral("tones.mp3"));
    QVERIFY(!writeLongTone(m_tones).isEmpty());
}

void TestSoundLoss::cleanupTestCase()
{
    stopServer();
}

bool TestSoundLoss::startServer()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_runtime.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_server.setProcessEnvironment(env);
    m_server.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                    QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--realtime=no"),
                    QStringLiteral("-L"),
                    QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1")
                        .arg(m_runtime.filePath(QStringLiteral("native"))),
                    QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=loss_null")});
    if (!m_server.waitForStarted())
        return false;
    for (int i = 0; i < 50; ++i) {
        QProcess info;
        info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (info.waitForFinished() && info.exitCode() == 0)
            return true;
        QTest::qWait(100);
    }
    return false;
}

void TestSoundLoss::stopServer()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(m_server.processId()), SIGKILL);
    m_server.waitForFinished();
}

qint64 TestSoundLoss::longestStall(const std::function<bool()> &until, int timeout)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    connect(&beat, &QTimer::timeout, this, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    beat.start(5);
    while (!until() && clock.elapsed() < timeout)
        QTest::qWait(5);
    return longest;
}

void TestSoundLoss::serverThatComesLaterIsHeard()
{
    // No server when the process first plays: the clock plays; once one is there, it is heard.
    QtMediaPlayer player;
    player.setURL(m_tones);
    QTRY_VERIFY_WITH_TIMEOUT(player.transportBar()->statusText().contains(QStringLiteral("声音")),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.5, 5000);
    QVERIFY(startServer());
    QTRY_COMPARE_WITH_TIMEOUT(player.transportBar()->statusText(), QStringLiteral("正在播放"),
                              8000);
}

void TestSoundLoss::stoppedServerHoldsNothing()
{
    QtMediaPlayer player;
    PlayerTransportBar &bar = *player.transportBar();
    MediaControls &controls = player.controls();
    player.setURL(m_tones);
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > 0.5, 10000);
    QCOMPARE(bar.statusText(), QStringLiteral("正在播放"));

    // A server that stops answering: playback goes on by the clock and says why; a stop and a
    // play, which open a new stream, do not hold the window either.
    ::kill(static_cast<pid_t>(m_server.processId()), SIGSTOP);
    qint64 stall =
        longestStall([&] { return bar.statusText() != QStringLiteral("正在播放"); }, 5000);
    QVERIFY2(bar.statusText().contains(QStringLiteral("声音")), qPrintable(bar.statusText()));
    const double silentAt = controls.currentPosition();
    controls.stop();
    controls.play();
    stall = std::max(stall, longestStall([&] { return controls.currentPosition() > 2.0; }, 5000));
    QVERIFY2(controls.currentPosition() > 2.0, qPrintable(QString::number(silentAt)));
    QVERIFY2(stall < 200, qPrintable(QString::number(stall)));

    // Once it answers again, so does the sound.
    ::kill(static_cast<pid_t>(m_server.processId()), SIGCONT);
    QTRY_COMPARE_WITH_TIMEOUT(bar.statusText(), QStringLiteral("正在播放"), 10000);
}

void TestSoundLoss::killedServerComesBack()
{
    QtMediaPlayer player;
    PlayerTransportBar &bar = *player.transportBar();
    MediaControls &controls = player.controls();
    player.setURL(m_tones);
    QTRY_COMPARE_WITH_TIMEOUT(bar.statusText(), QStringLiteral("正在播放"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > 0.5, 10000);

    stopServer();
    QTRY_VERIFY_WITH_TIMEOUT(bar.statusText().contains(QStringLiteral("声音")), 3000);
    const double at = controls.currentPosition();
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > at + 1.0, 3000);
    QCOMPARE(player.playState(), qint32(MediaPlayer::Playing));

    // Tried again while it plays: sound comes back once there is a server.
    QVERIFY(startServer());
    QTRY_COMPARE_WITH_TIMEOUT(bar.statusText(), QStringLiteral("正在播放"), 10000);
}

void TestSoundLoss::withoutServerMarksAndSaves()
{
    stopServer();
    FakePlatform fakes;
    Platform platform = fakes.take();
    delete platform.player;
    auto *player = new QtMediaPlayer;
    platform.player = player;
    FrmMain window(std::move(platform));
    window.show();
    const MainWindowSkin skin = skinOf(window);

    fakes.open->answers << m_tones;
    QTest::mouseClick(skin.Labdakai, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(player->transportBar()->statusText().contains(QStringLiteral("声音")),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(player->controls().currentPosition() > 1.0, 5000);
    QTest::mouseClick(skin.ImgKaishi, Qt::LeftButton);
    QVERIFY(skin.ShapXuan->Left() > 720);
    QTRY_VERIFY_WITH_TIMEOUT(player->controls().currentPosition() > 2.0, 5000);
    QTest::mouseClick(skin.ImgJiesu, Qt::LeftButton);
    QVERIFY(skin.ShapXuan->Width() > 1);

    const QString target = m_files.filePath(QStringLiteral("片段.mp3"));
    fakes.save->answers << target;
    QTest::mouseClick(skin.LabBaocun, Qt::LeftButton);
    QVERIFY(!fakes.messages->shown.empty());
    QCOMPARE(fakes.messages->shown.back().text, QStringLiteral("剪切成功！"));
    QVERIFY(QFile(target).size() > 0);
    QCOMPARE(skin.LabFname->Caption(), QStringLiteral("正在播放:") + m_tones);
}

QTEST_MAIN(TestSoundLoss)
#include "tst_soundloss.moc"
