#include "LongTone.h"
#include "core/TimeText.h"
#include "platform/PlayerTransportBar.h"
#include "platform/QtMediaPlayer.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int patience = 10000; // ms; a loaded build machine can be slow to start a pipeline

QString fixture(const char *name)
{
    return QStringLiteral(VELQUIST_FIXTURES "/") + QLatin1String(name);
}

QList<qint32> states(const QSignalSpy &spy)
{
    QList<qint32> seen;
    for (const QList<QVariant> &call : spy)
        seen << call.at(0).toInt();
    return seen;
}

// The state reported last; 0 before any.
qint32 lastState(const QSignalSpy &spy)
{
    return spy.isEmpty() ? 0 : spy.last().at(0).toInt();
}

bool anyDialogShown()
{
    if (QApplication::activeModalWidget())
        return true;
    const QWidgetList all = QApplication::topLevelWidgets();
    return std::any_of(all.cbegin(), all.cend(), [](QWidget *w) {
        return w->isVisible() && qobject_cast<QDialog *>(w) != nullptr;
    });
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT

private slots:
    void timeText_data();
    void timeText();
    void timeTextWithHundredths();
    void timeTextOfMarks_data();
    void timeTextOfMarks();

    void stockSettings();
    void playsFromTheStartOnOpen();
    void pauseAndStopAreReported();
    void runningOutStopsAtTheBeginning();
    void closeReleasesTheMedia();
    void stoppedPlayerStandsWhereItWasPut();
    void openingAgainRestarts();
    void undecodableFileIsRefused();
    void transportBarDrivesThePlayer();
    void stopRightAfterOpeningRewinds();
    void pauseMarkEndsTheStretch();
    void soundGoesOnAfterSeeks();
    void positionIsWhatIsHeard();

    void dragIsNotPulledBack();
    void seekHappensOnRelease();
    void windowTimeTextAreaStaysClear();
    void uiModeShowsTheBar_data();
    void uiModeShowsTheBar();
    void contextMenuFollowsSetting();
};

void TestPlayer::timeText_data()
{
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << "00:00";
    QTest::newRow("fraction cut down") << qint64(999) << "00:00";
    QTest::newRow("just short of a minute") << qint64(59999) << "00:59";
    QTest::newRow("minute and five") << qint64(65000) << "01:05";
    QTest::newRow("last before an hour") << qint64(3599900) << "59:59";
    QTest::newRow("one hour") << qint64(3600000) << "1:00:00";
    QTest::newRow("hour, minutes, seconds") << qint64(3725000) << "1:02:05";
    QTest::newRow("over ten hours") << qint64(36061000) << "10:01:01";
    QTest::newRow("negative") << qint64(-1) << "00:00";
    QTest::newRow("longest") << std::numeric_limits<qint64>::max() << "2562047788015:12:55";
}

void TestPlayer::timeText()
{
    QFETCH(qint64, milliseconds);
    QFETCH(QString, expected);
    QCOMPARE(TimeText::fromMilliseconds(milliseconds), expected);
}

void TestPlayer::timeTextWithHundredths()
{
    // For the marks: hundredths, with the hours where the file runs an hour or more.
    QCOMPARE(TimeText::fromHundredths(20507, false), QStringLiteral("03:25.07"));
    QCOMPARE(TimeText::fromHundredths(372345, true), QStringLiteral("1:02:03.45"));
    QCOMPARE(TimeText::fromHundredths(905, true), QStringLiteral("0:00:09.05"));
}

void TestPlayer::timeTextOfMarks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("hundredths"); // -1: not a time
    QTest::newRow("minutes") << "03:25.07" << qint64(20507);
    QTest::newRow("one decimal, short minute") << "3:25.5" << qint64(20550);
    QTest::newRow("no decimals") << "03:25" << qint64(20500);
    QTest::newRow("seconds alone") << "90.25" << qint64(9025);
    QTest::newRow("hours") << "1:02:03.45" << qint64(372345);
    QTest::newRow("full-width, with blanks") << " 01：02。50 " << qint64(6250);
    QTest::newRow("half-typed seconds") << "1:2" << qint64(-1);
    QTest::newRow("half-typed decimals") << "01:02." << qint64(-1);
    QTest::newRow("three decimals") << "01:02.345" << qint64(-1);
    QTest::newRow("sixty seconds") << "01:60.00" << qint64(-1);
    QTest::newRow("four fields") << "1:00:00:00" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
    QTest::newRow("sign") << "-01:00.00" << qint64(-1);
}

void TestPlayer::timeTextOfMarks()
{
    QFETCH(QString, typed);
    QFETCH(qint64, hundredths);
    QCOMPARE(TimeText::hundredthsFrom(typed).value_or(-1), hundredths);
    if (hundredths < 0)
        return;
    // What is written reads back as the same time.
    for (const bool withHours : {false, true})
        QCOMPARE(TimeText::hundredthsFrom(TimeText::fromHundredths(hundredths, withHours)),
                 hundredths);
}

void TestPlayer::stockSettings()
{
    QtMediaPlayer player;
    QCOMPARE(player.volume(), 50);
    QCOMPARE(player.transportBar()->volumeSlider()->value(), 50);
    QVERIFY(!player.mute());
    QVERIFY(player.enableContextMenu());
    QCOMPARE(player.uiMode(), QStringLiteral("full"));
    QCOMPARE(player.size(), QSize(385, 49));
    // Nothing open: every question still has an answer.
    QCOMPARE(player.URL(), QString());
    QCOMPARE(player.currentMedia().durationString(), QStringLiteral("00:00"));
    QCOMPARE(player.currentMedia().duration(), 0.0);
    QCOMPARE(player.controls().currentPositionString(), QString());
    QCOMPARE(player.controls().currentPosition(), 0.0);
}

void TestPlayer::playsFromTheStartOnOpen()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(fixture("tone-3s.mp3"));
    QCOMPARE(player.URL(), fixture("tone-3s.mp3"));

    QTRY_VERIFY_WITH_TIMEOUT(states(spy).contains(MediaPlayer::Playing), patience);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.3, patience);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player.currentMedia().duration() - 3.0) < 0.2, patience);
    QCOMPARE(player.currentMedia().durationString(), QStringLiteral("00:03"));
    QVERIFY(player.controls().currentPositionString().startsWith(QStringLiteral("00:0")));
    QCOMPARE(player.transportBar()->statusText(), QStringLiteral("正在播放"));
}

void TestPlayer::pauseAndStopAreReported()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);
    QTRY_VERIFY_WITH_TIMEOUT(player.currentMedia().duration() > 0.0, patience);

    player.pause();
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Paused), patience);
    QVERIFY(!player.controls().currentPositionString().isEmpty());
    const double heldAt = player.controls().currentPosition();

    player.controls().stop();
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(player.controls().currentPositionString(), QString());
    QCOMPARE(player.controls().currentPosition(), 0.0);
    QCOMPARE(player.transportBar()->statusText(), QStringLiteral("已停止"));
    QVERIFY(heldAt < 3.0);
    // Stopping keeps the file: its length is still known.
    QCOMPARE(player.currentMedia().durationString(), QStringLiteral("00:03"));
}

void TestPlayer::runningOutStopsAtTheBeginning()
{
    QTemporaryDir dir;
    const QString tones = dir.filePath(QStringLiteral("tones.mp3"));
    QVERIFY(!writeLongTone(tones).isEmpty());

    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(tones);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.1, patience);
    // Skip most of it through the bar at once, as a user would: the seek must not get lost.
    emit player.transportBar()->seekRequested(10500);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 10.0, 6000);

    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(player.transportBar()->statusText(), QStringLiteral("播放完毕"));
    QCOMPARE(player.controls().currentPositionString(), QString());
    // Ran out: it stands at the beginning, so a start marked now lies there.
    QCOMPARE(player.controls().currentPosition(), 0.0);
}

void TestPlayer::stopRightAfterOpeningRewinds()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(states(spy).contains(MediaPlayer::Playing), patience);

    // Stopped before the length is known, the file must still play when asked, not end at once.
    player.controls().stop();
    QCOMPARE(player.controls().currentPosition(), 0.0);
    player.controls().play();
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.5, patience);
    QCOMPARE(player.transportBar()->statusText(), QStringLiteral("正在播放"));
}

void TestPlayer::pauseMarkEndsTheStretch()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    MediaControls &controls = player.controls();
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);

    // While playing, and again once the file has run out: there too the seek must hold, so
    // playback never shows a place before it (a lost seek would play on from where it was, or
    // from the beginning), and the pause comes after half a second of it.
    for (const double from : {1.0, 2.0}) {
        if (from > 1.0) {
            controls.play();
            emit player.transportBar()->seekRequested(2800);
            QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
        }
        spy.clear();
        controls.setCurrentPosition(from);
        controls.play();
        controls.pauseAt(from + 0.5);
        double earliest = from;
        QTRY_VERIFY_WITH_TIMEOUT((earliest = std::min(earliest, controls.currentPosition()),
                                  states(spy).contains(MediaPlayer::Paused)),
                                 patience);
        QVERIFY2(earliest > from - 0.1, qPrintable(QString::number(earliest)));
        QCOMPARE(player.playState(), qint32(MediaPlayer::Paused));
        const double heldAt = controls.currentPosition();
        QVERIFY2(heldAt >= from + 0.4 && heldAt < from + 0.8, qPrintable(QString::number(heldAt)));
    }
}

void TestPlayer::soundGoesOnAfterSeeks()
{
    // Listens to what the sound server plays: after a few seeks and a resume the tone is still
    // heard, in one stream kept for the whole play session.
    QTemporaryDir dir;
    const QString tones = dir.filePath(QStringLiteral("tones.mp3"));
    QVERIFY(!writeLongTone(tones).isEmpty());
    constexpr int rate = 8000; // samples per second, mono, 16 bit
    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("--device=velquist_null.monitor"), QStringLiteral("--raw"),
                    QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(rate),
                    QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=50")});
    QVERIFY(recorder.waitForStarted());
    QtMediaPlayer player;
    MediaControls &controls = player.controls();
    player.setURL(tones);
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > 1.5, patience);
    for (const double to : {6.0, 2.0, 8.0, 4.0, 7.0, 3.0}) {
        controls.setCurrentPosition(to);
        QTest::qWait(600);
    }
    controls.pause();
    QTest::qWait(300);
    controls.play();
    QTest::qWait(1500);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished());

    // Over the last five seconds (but the last quarter, which the recorder may not have handed
    // on when it stopped), nearly every tenth of a second is tone: only the pause and the seeks
    // themselves are quiet.
    const QByteArray heard = recorder.readAllStandardOutput();
    const auto *sample = reinterpret_cast<const qint16 *>(heard.constData());
    const auto end = static_cast<qsizetype>(heard.size() / 2) - rate / 4;
    const qsizetype tenth = rate / 10;
    QVERIFY2(end > rate * 5, qPrintable(QString::number(end)));
    int loud = 0;
    int tenths = 0;
    for (qsizetype from = end - rate * 5; from + tenth <= end; from += tenth, ++tenths) {
        double sum = 0;
        for (qsizetype i = from; i < from + tenth; ++i)
            sum += double(sample[i]) * sample[i];
        loud += std::sqrt(sum / double(tenth)) > 300 ? 1 : 0;
    }
    QVERIFY2(loud >= tenths * 8 / 10, qPrintable(QStringLiteral("%1 of %2").arg(loud).arg(tenths)));
}

void TestPlayer::positionIsWhatIsHeard()
{
    // A beep starts each second of the file. Where the monitor hears one, the player must say a
    // whole second, also after seeks and a resume.
    constexpr int rate = 8000;
    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("--device=velquist_null.monitor"), QStringLiteral("--raw"),
                    QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(rate),
                    QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=10")});
    QVERIFY(recorder.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    // When each byte count of the recording had come (ms), and where the player said it was.
    QList<QPair<qint64, qint64>> arrived;
    QByteArray heard;
    connect(&recorder, &QProcess::readyReadStandardOutput, this, [&] {
        heard += recorder.readAllStandardOutput();
        arrived.append({clock.elapsed(), heard.size()});
    });
    QtMediaPlayer player;
    MediaControls &controls = player.controls();
    QList<QPair<qint64, double>> said;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        said.append({clock.elapsed(), controls.currentPosition()});
    });
    watch.start(2);
    player.setURL(fixture("beeps-12s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > 2.3, patience);
    controls.setCurrentPosition(6.5);
    QTest::qWait(1800);
    controls.setCurrentPosition(1.7);
    QTest::qWait(1500);
    controls.pause();
    QTest::qWait(400);
    controls.play();
    QTest::qWait(1500);
    watch.stop();
    recorder.terminate();
    QVERIFY(recorder.waitForFinished());

    // Each beep heard, at the time its first sample came in, less what followed it in its read.
    const auto *sample = reinterpret_cast<const qint16 *>(heard.constData());
    const qsizetype count = heard.size() / 2;
    QList<double> errors;
    qsizetype quiet = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (std::abs(sample[i]) < 2000) {
            ++quiet;
            continue;
        }
        const bool onset = quiet > rate / 5;
        quiet = 0;
        if (!onset)
            continue;
        const auto read = std::find_if(arrived.cbegin(), arrived.cend(),
                                       [&](const auto &a) { return a.second > i * 2; });
        if (read == arrived.cend())
            break;
        const qint64 at = read->first - (read->second / 2 - i) * 1000 / rate;
        const auto then =
            std::find_if(said.cbegin(), said.cend(), [&](const auto &s) { return s.first >= at; });
        if (then == said.cbegin() || then == said.cend())
            continue;
        errors << then->second - std::round(then->second);
    }
    QVERIFY2(errors.size() >= 5, qPrintable(QString::number(errors.size())));
    // The recorder's own latency makes the player seem a little ahead; no beep may stray from
    // the others by more than a few hundredths.
    std::sort(errors.begin(), errors.end());
    const double median = errors.at(errors.size() / 2);
    QStringList shown;
    for (const double e : errors)
        shown << QString::number(e, 'f', 3);
    QVERIFY2(median > -0.03 && median < 0.06, qPrintable(shown.join(' ')));
    QVERIFY2(errors.last() - errors.first() < 0.05, qPrintable(shown.join(' ')));
}

void TestPlayer::closeReleasesTheMedia()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);

    player.close();
    QCOMPARE(player.controls().currentPositionString(), QString());
    QCOMPARE(player.currentMedia().durationString(), QStringLiteral("00:00"));
    QCOMPARE(player.currentMedia().duration(), 0.0);
    QCOMPARE(player.URL(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(player.controls().currentPositionString(), QString());

    // With nothing open, play is ignored rather than failing.
    spy.clear();
    player.play();
    QCOMPARE(player.controls().currentPositionString(), QString());
    QCoreApplication::processEvents();
    QVERIFY(!states(spy).contains(MediaPlayer::Playing));
}

void TestPlayer::stoppedPlayerStandsWhereItWasPut()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    MediaControls &controls = player.controls();
    QAbstractSlider *knob = player.transportBar()->seekSlider();
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.currentMedia().duration() > 0, patience);

    // Paused, a seek is where the user put it.
    controls.pause();
    emit player.transportBar()->seekRequested(1000);
    QTRY_COMPARE_WITH_TIMEOUT(controls.currentPosition(), 1.0, patience);
    QCOMPARE(knob->value(), 1000);

    // Stop: the knob, the text and the position all go to 0.
    emit player.transportBar()->stopRequested();
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(controls.currentPosition(), 0.0);
    QCOMPARE(controls.currentPositionString(), QString());
    QCOMPARE(knob->value(), 0);

    // A seek while stopped: the knob, the text and the position all say where it was put.
    emit player.transportBar()->seekRequested(2000);
    QTest::qWait(200);
    QCOMPARE(controls.currentPosition(), 2.0);
    QCOMPARE(controls.currentPositionString(), QStringLiteral("00:02"));
    QCOMPARE(knob->value(), 2000);

    // And playback goes on from there.
    spy.clear();
    controls.play();
    QTRY_VERIFY_WITH_TIMEOUT(states(spy).contains(MediaPlayer::Playing), patience);
    // Once it moves it is past 2 s, where a start from 0 would still be near the beginning.
    QTRY_VERIFY_WITH_TIMEOUT(controls.currentPosition() > 0.1, patience);
    QVERIFY2(controls.currentPosition() >= 1.9,
             qPrintable(QString::number(controls.currentPosition())));
    // Ran to the end: back at 0, the knob too.
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(controls.currentPosition(), 0.0);
    QCOMPARE(knob->value(), 0);
}

void TestPlayer::openingAgainRestarts()
{
    QtMediaPlayer player;
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 1.0, patience);

    player.setURL(fixture("tone-3s.mp3"));
    // Left alone it would now be past 1 s and on its way out; restarted it is near the start.
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() < 0.8, 1500);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);

    // Also after it ran out and stopped.
    player.controls().stop();
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Playing), patience);
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);
}

void TestPlayer::undecodableFileIsRefused()
{
    // Ogg Vorbis named .mp3: refused at once, in words naming it, and what played plays on.
    QtMediaPlayer player;
    player.show();
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);
    try {
        player.setURL(fixture("vorbis-named.mp3"));
        QFAIL("opened");
    } catch (const PlayerError &error) {
        QCOMPARE(QString::fromUtf8(error.what()),
                 QStringLiteral("“%1”不是可以播放的 MP3 文件。").arg(fixture("vorbis-named.mp3")));
    }
    QVERIFY(!anyDialogShown());
    QCOMPARE(player.URL(), fixture("tone-3s.mp3"));
    QCOMPARE(player.playState(), qint32(MediaPlayer::Playing));
    QCOMPARE(player.currentMedia().durationString(), QStringLiteral("00:03"));
}

void TestPlayer::transportBarDrivesThePlayer()
{
    QtMediaPlayer player;
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
    PlayerTransportBar *bar = player.transportBar();
    player.setURL(fixture("tone-3s.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.controls().currentPosition() > 0.2, patience);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isPlaying(), patience);

    QTest::mouseClick(bar->playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Paused), patience);
    QCOMPARE(bar->playPauseButton()->toolTip(), QStringLiteral("播放"));
    QCOMPARE(bar->statusText(), QStringLiteral("已暂停"));

    QTest::mouseClick(bar->playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Playing), patience);
    QCOMPARE(bar->playPauseButton()->toolTip(), QStringLiteral("暂停"));

    QTest::mouseClick(bar->stopButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lastState(spy), qint32(MediaPlayer::Stopped), patience);
    QCOMPARE(bar->statusText(), QStringLiteral("已停止"));

    bar->volumeSlider()->setValue(20);
    QCOMPARE(player.volume(), 20);
    QTest::mouseClick(bar->muteButton(), Qt::LeftButton);
    QVERIFY(player.mute());
    // And back the other way: the bar shows what the player was set to.
    player.setVolume(80);
    QCOMPARE(bar->volumeSlider()->value(), 80);
    player.setMute(false);
    QVERIFY(!bar->muteButton()->isChecked());
}

void TestPlayer::dragIsNotPulledBack()
{
    PlayerTransportBar bar;
    bar.setDuration(10000);
    bar.setPosition(1000);
    QCOMPARE(bar.seekSlider()->value(), 1000);

    bar.seekSlider()->setSliderDown(true);
    bar.setPosition(5000);
    QCOMPARE(bar.seekSlider()->value(), 1000);

    bar.seekSlider()->setSliderDown(false);
    bar.setPosition(5000);
    QCOMPARE(bar.seekSlider()->value(), 5000);

    // Positions outside the media are held to its ends.
    bar.setPosition(-20);
    QCOMPARE(bar.seekSlider()->value(), 0);
    bar.setPosition(99999);
    QCOMPARE(bar.seekSlider()->value(), 10000);
}

void TestPlayer::seekHappensOnRelease()
{
    PlayerTransportBar bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy seeks(&bar, &PlayerTransportBar::seekRequested);
    QAbstractSlider *slider = bar.seekSlider();

    // No media length yet: the seek bar takes no clicks.
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 5));
    QVERIFY(seeks.isEmpty());

    bar.setDuration(10000);
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, y));
    QTest::mouseMove(slider, QPoint(slider->width() / 2, y));
    bar.setPosition(100); // playback keeps reporting during the drag
    QVERIFY(seeks.isEmpty());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, y));

    QCOMPARE(seeks.size(), 1);
    const qint64 target = seeks.first().first().toLongLong();
    QVERIFY2(target > 4500 && target < 5500, qPrintable(QString::number(target)));
}

void TestPlayer::windowTimeTextAreaStaysClear()
{
    // The window writes its green time text at (224, 24) over the player: that stretch must be
    // plain dark background, the same across each row, whatever the bar shows.
    PlayerTransportBar bar;
    bar.setDuration(10000);
    bar.setPosition(5000);
    bar.setStatusText(QStringLiteral("一段相当长的状态文字，长得足以伸进右边去"));
    const QImage image = bar.grab().toImage();
    QCOMPARE(image.size(), QSize(385, 49));
    for (int y = 20; y <= 40; ++y) {
        const QColor first = image.pixelColor(200, y);
        QVERIFY2(first.lightness() < 80, qPrintable(QString::number(y)));
        for (int x = 201; x <= 290; ++x)
            QVERIFY2(image.pixel(x, y) == image.pixel(200, y),
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }
}

void TestPlayer::uiModeShowsTheBar_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("bar");
    QTest::addColumn<bool>("volume");
    QTest::newRow("full") << "full" << true << true;
    QTest::newRow("mini drops volume") << "mini" << true << false;
    QTest::newRow("none") << "none" << false << false;
    QTest::newRow("invisible") << "invisible" << false << false;
    QTest::newRow("any case") << "Full" << true << true;
}

void TestPlayer::uiModeShowsTheBar()
{
    QFETCH(QString, mode);
    QFETCH(bool, bar);
    QFETCH(bool, volume);
    QtMediaPlayer player;
    // Start from the opposite, so the mode really has to change something.
    player.setUiMode(bar ? QStringLiteral("none") : QStringLiteral("full"));
    player.setUiMode(mode);
    QCOMPARE(player.transportBar()->isVisibleTo(&player), bar);
    QCOMPARE(player.transportBar()->volumeSlider()->isVisibleTo(&player), volume);

    // An unknown word leaves things as they are.
    player.setUiMode(QStringLiteral("skinned"));
    QCOMPARE(player.transportBar()->isVisibleTo(&player), bar);
}

void TestPlayer::contextMenuFollowsSetting()
{
    QWidget window;
    QtMediaPlayer *player = new QtMediaPlayer(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A right-click anywhere on the bar reaches the player.
    const QPoint at(10, 30);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, player->mapToGlobal(at));
    QApplication::sendEvent(player->transportBar(), &click);
    QTRY_COMPARE(QApplication::activePopupWidget(), player->contextMenu());
    QStringList texts;
    for (QAction *action : player->contextMenu()->actions())
        texts << action->text();
    QCOMPARE(texts,
             (QStringList{QStringLiteral("播放"), QStringLiteral("暂停"), QStringLiteral("停止")}));
    player->contextMenu()->close();
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

    player->setEnableContextMenu(false);
    QContextMenuEvent again(QContextMenuEvent::Mouse, at, player->mapToGlobal(at));
    QApplication::sendEvent(player->transportBar(), &again);
    QVERIFY(again.isAccepted()); // not handed on to the window behind either
    QCoreApplication::processEvents();
    QVERIFY(QApplication::activePopupWidget() == nullptr);
}

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
