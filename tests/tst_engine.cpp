#include "LongTone.h"
#include "mp3/Mp3Scan.h"
#include "sound/Mp3Decoder.h"
#include "sound/PlaybackEngine.h"
#include "sound/SampleFeed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdlib>
#include <vector>

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(VELQUIST_FIXTURES "/") + QLatin1String(name);
}

class FakeClock : public Clock
{
public:
    qint64 now = 0;
    qint64 milliseconds() const override { return now; }
};

// A sound device in the test's hand: it takes what the test says from the feed, and hears what
// the test says of what it holds.
class FakeOutput : public SoundOutput
{
public:
    OutputReading state;
    std::shared_ptr<SampleFeed> feed;
    QStringList calls;
    bool refuses = false;

    void start(int, std::shared_ptr<SampleFeed> f) override
    {
        calls << QStringLiteral("start");
        feed = std::move(f);
        state = {};
        state.status = refuses ? OutputReading::Status::Failed : OutputReading::Status::Running;
    }
    void suspend() override
    {
        calls << QStringLiteral("suspend");
        state.status = OutputReading::Status::Suspended;
    }
    void resume() override
    {
        calls << QStringLiteral("resume");
        state.status = OutputReading::Status::Running;
    }
    void stop() override
    {
        calls << QStringLiteral("stop");
        feed.reset();
        state = {};
    }
    void setVolume(double) override {}
    OutputReading reading() const override { return state; }

    // Takes `frames` of the feed's current run, waiting for the decoder as a device would.
    void hand(qint64 frames)
    {
        std::vector<char> block(static_cast<size_t>(frames) * SampleFeed::BytesPerFrame);
        QElapsedTimer waited;
        waited.start();
        while (frames > 0 && waited.elapsed() < 5000) {
            quint64 run = 0;
            const qint64 got = feed->take(block.data(), frames, run);
            if (run != state.run) {
                state.run = run;
                state.handed = 0;
            }
            state.handed += got;
            state.queued += got;
            frames -= got;
            if (got == 0)
                QThread::msleep(1);
        }
        QVERIFY(frames == 0);
    }
    void hear(qint64 frames) { state.queued -= std::min(frames, state.queued); }
};

std::vector<qint16> decodeAll(Mp3Decoder &decoder)
{
    std::vector<qint16> samples;
    std::vector<char> block(4096 * SampleFeed::BytesPerFrame);
    while (const qint64 frames = decoder.read(block.data(), 4096)) {
        const auto *s = reinterpret_cast<const qint16 *>(block.data());
        samples.insert(samples.end(), s, s + frames * 2);
    }
    return samples;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheGaplessTimeline();
    void refusesWhatIsNotMpegAudio_data();
    void refusesWhatIsNotMpegAudio();
    void positionIsWhatIsHeard();
    void runningOutStopsAtTheBeginning();
    void pauseMarkPausesThere();
    void withoutOutputTheClockPlays();
    void lostOutputGoesOnAndComesBack();
};

void TestEngine::decodesTheGaplessTimeline()
{
    // The LAME tag's delay and padding are trimmed; the frame map gives the same count at once.
    const QString path = fixture("tone-vbr-2s.mp3");
    Mp3Decoder whole(path, 22050);
    const std::vector<qint16> all = decodeAll(whole);
    QCOMPARE(qint64(all.size() / 2), qint64(2 * 22050));
    const Mp3Analysis frames = analyseMp3(path);
    QCOMPARE(Mp3Decoder::exactLength(whole.facts(), frames), qint64(2 * 22050));

    // A seek lands on the sample a decode from the beginning has there, through the map; a
    // seek from where an earlier one left the decoder can differ by the last bit.
    Mp3Decoder seeking(path, 22050);
    seeking.useFrameMap(frames);
    for (const qint64 to : {qint64(30001), qint64(577), qint64(12345)}) {
        QVERIFY(seeking.seek(to));
        std::vector<char> block(1000 * SampleFeed::BytesPerFrame);
        QCOMPARE(seeking.read(block.data(), 1000), qint64(1000));
        const auto *s = reinterpret_cast<const qint16 *>(block.data());
        QVERIFY2(std::equal(s, s + 2000, all.begin() + to * 2,
                            [](qint16 a, qint16 b) { return std::abs(a - b) <= 1; }),
                 qPrintable(QString::number(to)));
    }
}

void TestEngine::refusesWhatIsNotMpegAudio_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("WAV named .mp3") << "wav";
    QTest::newRow("Ogg Vorbis named .mp3") << "ogg";
    QTest::newRow("text named .mp3") << "text";
    QTest::newRow("empty") << "empty";
    QTest::newRow("missing") << "missing";
}

void TestEngine::refusesWhatIsNotMpegAudio()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("声音.mp3"));
    if (kind == QLatin1String("ogg")) {
        path = fixture("vorbis-named.mp3");
    } else if (kind == QLatin1String("text")) {
        path = fixture("not-audio.mp3");
    } else if (kind != QLatin1String("missing")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("wav")) {
            // A RIFF header and a second of a loud square wave.
            QByteArray pcm;
            for (int i = 0; i < 44100; ++i) {
                const qint16 v = (i / 50) % 2 ? 20000 : -20000;
                pcm.append(reinterpret_cast<const char *>(&v), 2);
            }
            QByteArray head("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xac\0\0\x88\x58\x01\0"
                            "\x02\0\x10\0data",
                            40);
            file.write(head);
            const quint32 size = quint32(pcm.size());
            file.write(reinterpret_cast<const char *>(&size), 4);
            file.write(pcm);
        }
    }

    FakeOutput output;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    engine.open(fixture("tone-3s.mp3"));
    const qint64 length = engine.length();
    try {
        engine.open(path);
        QFAIL("opened");
    } catch (const DecodeError &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(path), error.what());
    }
    // The file open before is still there.
    QVERIFY(engine.isOpen());
    QCOMPARE(engine.length(), length);
    engine.play();
    QCOMPARE(output.calls, QStringList({"stop", "start"}));
}

void TestEngine::positionIsWhatIsHeard()
{
    FakeOutput output;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    engine.open(fixture("tone-3s.mp3"));
    QCOMPARE(engine.sampleRate(), 44100);
    engine.play();
    output.hand(4410);
    QCOMPARE(engine.position(), qint64(0)); // all still queued
    output.hear(1000);
    QCOMPARE(engine.position(), qint64(1000));

    // A seek shows at once; what the device still holds from before it plays first.
    engine.seek(44100);
    QCOMPARE(engine.position(), qint64(44100));
    output.hand(2000);
    QCOMPARE(engine.position(), qint64(44100));
    output.hear(3410 + 500);
    QCOMPARE(engine.position(), qint64(44100 + 500));

    // Paused, it holds, whatever the device reports; resumed, the same stream goes on.
    engine.pause();
    const qint64 held = engine.position();
    output.hear(300);
    clock.now += 5000;
    QCOMPARE(engine.position(), held);
    engine.seek(88200);
    QCOMPARE(engine.position(), qint64(88200));
    engine.play();
    QCOMPARE(output.calls, QStringList({"stop", "start", "suspend", "resume"}));
    output.hear(10000);
    output.hand(100);
    output.hear(50);
    QCOMPARE(engine.position(), qint64(88200 + 50));
    QCOMPARE(engine.soundProblem(), QString());
}

void TestEngine::runningOutStopsAtTheBeginning()
{
    FakeOutput output;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    QSignalSpy states(&engine, &PlaybackEngine::stateChanged);
    engine.open(fixture("tone-3s.mp3"));
    const Mp3Analysis frames = analyseMp3(fixture("tone-3s.mp3"));
    engine.setFrameMap(std::make_shared<Mp3Analysis>(frames));
    QVERIFY(engine.lengthIsExact());
    const qint64 end = engine.length();
    engine.play();
    engine.seek(end - 1000);
    output.hand(1000);
    QTRY_VERIFY(output.feed->runEnd() == end);
    output.hear(999);
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Playing);
    output.hear(1);
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Stopped);
    QCOMPARE(states.last().at(1).toBool(), true);
    QCOMPARE(engine.position(), qint64(0));
    QCOMPARE(output.calls.last(), QStringLiteral("stop"));
}

void TestEngine::pauseMarkPausesThere()
{
    FakeOutput output;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    engine.open(fixture("tone-3s.mp3"));
    engine.play();
    engine.pauseAt(3000);
    output.hand(4000);
    output.hear(2999);
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Playing);
    output.hear(20);
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Paused);
    QCOMPARE(engine.position(), qint64(3019));
    // A seek calls a mark off.
    engine.play();
    engine.pauseAt(5000);
    engine.seek(0);
    output.hand(6000);
    output.hear(6000);
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Playing);
}

void TestEngine::withoutOutputTheClockPlays()
{
    FakeOutput output;
    output.refuses = true;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    engine.open(fixture("tone-3s.mp3"));
    engine.play();
    engine.poll();
    QVERIFY(!engine.soundProblem().isEmpty());
    QCOMPARE(engine.state(), PlaybackEngine::State::Playing);
    clock.now += 1000;
    QCOMPARE(engine.position(), qint64(44100));
    engine.pause();
    clock.now += 1000;
    QCOMPARE(engine.position(), qint64(44100));
    engine.seek(22050);
    engine.play(); // tries the output again: still none
    QCOMPARE(output.calls.count(QStringLiteral("start")), 2);
    engine.poll();
    clock.now += 500;
    QCOMPARE(engine.position(), qint64(22050 + 22050));

    // Past the length, it runs out as a file with sound does.
    clock.now += 3000;
    engine.poll();
    QCOMPARE(engine.state(), PlaybackEngine::State::Stopped);
    QCOMPARE(engine.soundProblem(), QString());
}

void TestEngine::lostOutputGoesOnAndComesBack()
{
    QTemporaryDir dir;
    const QString tones = dir.filePath(QStringLiteral("tones.mp3"));
    QVERIFY(!writeLongTone(tones).isEmpty());
    FakeOutput output;
    FakeClock clock;
    PlaybackEngine engine(output, clock);
    engine.open(tones);
    engine.play();
    output.hand(10000);
    output.hear(5000);
    engine.poll();

    // The server goes away: the clock carries on from what was heard.
    output.state.status = OutputReading::Status::Failed;
    output.state.problem = QStringLiteral("断了");
    engine.poll();
    QCOMPARE(engine.soundProblem(), QStringLiteral("断了"));
    clock.now += 1000;
    QCOMPARE(engine.position(), qint64(5000 + 44100));

    // Tried again a while later; once it runs, sound goes on where the clock has got to.
    clock.now += PlaybackEngine::RetryEvery;
    engine.poll();
    QCOMPARE(output.calls.count(QStringLiteral("start")), 2);
    const qint64 at = engine.position();
    engine.poll();
    QCOMPARE(engine.position(), at); // nothing of the new run heard yet
    output.hand(100);
    output.hear(100);
    engine.poll();
    QCOMPARE(engine.position(), at + 100);
    QCOMPARE(engine.soundProblem(), QString());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
