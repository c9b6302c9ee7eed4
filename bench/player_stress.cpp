// Opens, plays, seeks, pauses, stops and opens again, over and over, through the real player:
// run under AddressSanitizer by bench/run-player-stress.sh, it must neither crash nor leak.
//   bench_player_stress CYCLES A.mp3 B.mp3
#include "platform/QtMediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: bench_player_stress CYCLES A.mp3 B.mp3\n", stderr);
        return 2;
    }
    const int cycles = args.at(1).toInt();
    QElapsedTimer clock;
    clock.start();
    {
        QtMediaPlayer player;
        for (int i = 0; i < cycles; ++i) {
            player.setURL(args.at(2 + i % 2));
            QTest::qWait(30);
            player.controls().setCurrentPosition(0.5 + i % 7);
            QTest::qWait(20);
            player.pause();
            QTest::qWait(5);
            player.play();
            player.controls().setCurrentPosition(0.2 * (i % 5));
            QTest::qWait(15);
            player.controls().stop();
            if (i % 10 == 9)
                player.close();
        }
    }
    std::printf("%d cycles in %lld ms\n", cycles, static_cast<long long>(clock.elapsed()));
    return 0;
}
