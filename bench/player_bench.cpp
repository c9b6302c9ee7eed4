// The player's figures, through the real player and a sound server's monitor:
//   bench_player SONG.mp3 BEEPS.mp3 [LONG.mp3]
// SONG sounds from its first sample on (a 5 MB song; the CPU figure wants 320 kbit/s), BEEPS has
// a beep at the start of each second, LONG is the 1.5 GiB bench file, sounding from its start.
// Run under scripts/with-sound-server.sh (bench/run-player-bench.sh does); VELQUIST_MONITOR names
// another monitor source.
#include "platform/QtMediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int Rate = 8000; // the recording's samples per second, mono

QElapsedTimer wall;

// What the monitor hears, each sample placed on the wall clock: its read's arrival less what
// came after it in that read.
class Monitor : public QObject
{
public:
    Monitor()
    {
        const QString device = qEnvironmentVariable("VELQUIST_MONITOR", "velquist_null.monitor");
        connect(&m_parec, &QProcess::readyReadStandardOutput, this, [this] {
            const QByteArray bytes = m_parec.readAllStandardOutput();
            const qint64 now = wall.elapsed();
            const auto *s = reinterpret_cast<const qint16 *>(bytes.constData());
            const qsizetype n = bytes.size() / 2;
            for (qsizetype i = 0; i < n; ++i)
                m_heard.push_back({now - (n - i) * 1000 / Rate, s[i]});
        });
        m_parec.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=") + device, QStringLiteral("--raw"),
                       QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(Rate),
                       QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=5")});
        m_parec.waitForStarted();
    }
    ~Monitor() override
    {
        m_parec.terminate();
        m_parec.waitForFinished();
    }
    // When the first sound after `from` (ms) was heard; -1 if none before `until`.
    qint64 firstSound(qint64 from, qint64 until) const
    {
        for (const auto &[at, v] : m_heard)
            if (at >= from && at <= until && std::abs(v) > 2000)
                return at;
        return -1;
    }
    // Beep onsets: sound after at least a fifth of a second of quiet.
    std::vector<qint64> onsets(qint64 from, qint64 until) const
    {
        std::vector<qint64> found;
        qint64 quietSince = from;
        for (const auto &[at, v] : m_heard) {
            if (at < from || at > until)
                continue;
            if (std::abs(v) < 2000)
                continue;
            if (at - quietSince > 200)
                found.push_back(at);
            quietSince = at;
        }
        return found;
    }
    // Share of the tenths in [from, until) that are loud.
    std::pair<int, int> loudTenths(qint64 from, qint64 until) const
    {
        int loud = 0, all = 0;
        for (qint64 t = from; t + 100 <= until; t += 100) {
            double sum = 0;
            int n = 0;
            for (const auto &[at, v] : m_heard)
                if (at >= t && at < t + 100) {
                    sum += double(v) * v;
                    ++n;
                }
            ++all;
            loud += n > 0 && std::sqrt(sum / n) > 300 ? 1 : 0;
        }
        return {loud, all};
    }

private:
    QProcess m_parec;
    std::vector<std::pair<qint64, qint16>> m_heard;
};

// The longest the event loop went without a turn, since the last reset.
class StallWatch : public QObject
{
public:
    StallWatch()
    {
        connect(&m_beat, &QTimer::timeout, this, [this] {
            const qint64 now = wall.elapsed();
            if (now - m_last > m_longest) {
                m_longest = now - m_last;
                m_where = m_phase;
            }
            m_last = now;
        });
        m_beat.setTimerType(Qt::PreciseTimer);
        m_beat.start(1);
    }
    qint64 longest() const { return m_longest; }
    const char *where() const { return m_where; }
    void setPhase(const char *phase) { m_phase = phase; }
    void pause() { m_beat.stop(); }
    void resume()
    {
        m_last = wall.elapsed();
        m_beat.start(1);
    }

private:
    QTimer m_beat;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    const char *m_phase = "start";
    const char *m_where = "";
};

qint64 rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

double cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

template <typename T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? T() : v[v.size() / 2];
}

// Open to first sound, `runs` times, in ms.
std::vector<qint64> openToSound(QtMediaPlayer &player, Monitor &monitor, const QString &file,
                                int runs)
{
    std::vector<qint64> took;
    for (int i = 0; i < runs; ++i) {
        player.close();
        QTest::qWait(600);
        const qint64 from = wall.elapsed();
        player.setURL(file);
        QTest::qWait(1500);
        const qint64 heard = monitor.firstSound(from, wall.elapsed());
        took.push_back(heard < 0 ? -1 : heard - from);
    }
    return took;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fputs("usage: bench_player SONG.mp3 BEEPS.mp3 [LONG.mp3]\n", stderr);
        return 2;
    }
    wall.start();
    StallWatch stalls;
    Monitor monitor;
    QtMediaPlayer player;
    MediaControls &controls = player.controls();
    QTest::qWait(500);
    const qint64 rssBefore = rssKiB();

    // Open to first sound.
    stalls.setPhase("open");
    const auto song = openToSound(player, monitor, args.at(1), 6);
    std::printf("open of %s to first sound: first %lld ms, then median %lld ms (",
                qPrintable(args.at(1)), static_cast<long long>(song.front()),
                static_cast<long long>(median(std::vector<qint64>(song.begin() + 1, song.end()))));
    for (const qint64 t : song)
        std::printf(" %lld", static_cast<long long>(t));
    std::printf(" )\n");
    if (args.size() > 3) {
        const auto big = openToSound(player, monitor, args.at(3), 3);
        std::printf("open of %s to first sound: median %lld ms (", qPrintable(args.at(3)),
                    static_cast<long long>(median(big)));
        for (const qint64 t : big)
            std::printf(" %lld", static_cast<long long>(t));
        std::printf(" )\n");
    }

    // CPU and memory while the song plays.
    player.setURL(args.at(1));
    QTest::qWait(1000);
    stalls.pause();
    const double cpu0 = cpuSeconds();
    const qint64 wall0 = wall.elapsed();
    QTest::qWait(10000);
    const double cpu = (cpuSeconds() - cpu0) / double(wall.elapsed() - wall0) * 1000.0 * 100.0;
    stalls.resume();
    std::printf("CPU while playing: %.1f %% of one core\n", cpu);
    std::printf("memory added by playing: %lld KiB\n",
                static_cast<long long>(rssKiB() - rssBefore));

    // Sound after seeks and resumes, in the song.
    stalls.setPhase("seek, pause and resume");
    int loud = 0, all = 0;
    for (int i = 0; i < 12; ++i) {
        controls.setCurrentPosition(5.0 + (i * 37) % 60);
        const qint64 at = wall.elapsed();
        QTest::qWait(700);
        const auto [l, n] = monitor.loudTenths(at + 100, at + 600);
        loud += l;
        all += n;
    }
    for (int i = 0; i < 4; ++i) {
        controls.pause();
        QTest::qWait(300);
        controls.play();
        const qint64 at = wall.elapsed();
        QTest::qWait(700);
        const auto [l, n] = monitor.loudTenths(at + 100, at + 600);
        loud += l;
        all += n;
    }
    std::printf("sound heard after 12 seeks and 4 resumes: %d of %d tenths (%.0f %%)\n", loud, all,
                100.0 * loud / all);

    // Seek to sound, and the position against the beeps heard.
    stalls.setPhase("open");
    player.setURL(args.at(2));
    QTest::qWait(1500);
    std::vector<qint64> seekToSound;
    std::vector<std::pair<qint64, double>> said;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        said.push_back({wall.elapsed(), controls.currentPosition()});
    });
    watch.start(1);
    const qint64 beepsFrom = wall.elapsed();
    stalls.setPhase("seek, pause and resume");
    for (const int second : {5, 2, 8, 3, 9, 1, 6, 4, 10, 7, 2, 5}) {
        // Half-way between beeps, then straight onto one.
        for (int wait = 0; wait < 300; ++wait) {
            const double fraction = std::fmod(controls.currentPosition(), 1.0);
            if (fraction > 0.4 && fraction < 0.6)
                break;
            QTest::qWait(5);
        }
        const qint64 at = wall.elapsed();
        controls.setCurrentPosition(second);
        QTest::qWait(700);
        const qint64 heard = monitor.firstSound(at, at + 700);
        seekToSound.push_back(heard < 0 ? 9999 : heard - at);
    }
    controls.pause();
    QTest::qWait(400);
    controls.play();
    QTest::qWait(1500);
    watch.stop();
    std::printf("seek to sound: median %lld ms, longest %lld ms\n",
                static_cast<long long>(median(seekToSound)),
                static_cast<long long>(*std::max_element(seekToSound.begin(), seekToSound.end())));
    std::vector<double> errors;
    for (const qint64 onset : monitor.onsets(beepsFrom, wall.elapsed())) {
        const auto then = std::lower_bound(
            said.begin(), said.end(), onset,
            [](const std::pair<qint64, double> &s, qint64 t) { return s.first < t; });
        if (then == said.begin() || then == said.end())
            continue;
        errors.push_back((then->second - std::round(then->second)) * 1000.0);
    }
    std::sort(errors.begin(), errors.end());
    std::printf("position against the beeps heard (ms, + = ahead of the sound): %zu beeps, "
                "median %.0f, from %.0f to %.0f\n",
                errors.size(), median(errors), errors.empty() ? 0.0 : errors.front(),
                errors.empty() ? 0.0 : errors.back());

    stalls.setPhase("stop");
    controls.stop();
    QTest::qWait(300);
    std::printf("longest stretch without event processing: %lld ms, in %s\n",
                static_cast<long long>(stalls.longest()), stalls.where());
    return 0;
}
