// The window's longest stretch without event processing while a file is opened and marked at
// once: the real window and player, the Open dialog answered by the file named on the command
// line, the start marked as soon as the player knows the duration (the mark then waits for the
// analysis), the end set to the end of the file. A 1 ms timer records the gaps between its
// ticks. With --instant-player the test suite's stand-in player knows a duration at once, so the
// mark surely comes before the analysis is done and waits for it. Usage (under xvfb or
// QT_QPA_PLATFORM=offscreen):
//   bench_open_mark [--instant-player] FILE

#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

class ScriptedOpen : public FileDialog
{
public:
    explicit ScriptedOpen(const QString &path) : m_path(path) {}
    void ShowOpen(QWidget *) override { m_fileName = m_path; }
    void ShowSave(QWidget *) override { m_fileName.clear(); }

private:
    QString m_path;
};

class PrintedMessages : public MessageBoxes
{
public:
    void show(QWidget *, const QString &text, const QString &, Icon) override
    {
        std::printf("message: %s\n", qPrintable(text));
    }
    bool ask(QWidget *, const QString &text, const QString &) override
    {
        std::printf("question, answered no: %s\n", qPrintable(text));
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool instant = argc == 3 && std::strcmp(argv[1], "--instant-player") == 0;
    if (argc != 2 && !instant) {
        std::fprintf(stderr, "usage: %s [--instant-player] FILE\n", argv[0]);
        return 2;
    }
    Platform platform = Platform::qt();
    if (instant) {
        auto *standIn = new FakeMediaPlayer;
        standIn->length = 3600;
        standIn->position = 1800;
        delete platform.player;
        platform.player = standIn;
    }
    platform.openDialog = std::make_unique<ScriptedOpen>(QString::fromLocal8Bit(argv[argc - 1]));
    platform.messages = std::make_unique<PrintedMessages>();
    MediaPlayer *player = platform.player;
    FrmMain window(std::move(platform));
    window.show();

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    qint64 longestAfterOpen = 0; // from the Open command's return: the wait for the analysis
    qint64 openedAt = 0, markedAt = 0;
    qint64 heldNs = 0; // ticks under the wait cursor: the mark waiting for the analysis
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, &app, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastTick >= 0)
            longestGap = std::max(longestGap, now - lastTick);
        if (lastTick >= 0 && QGuiApplication::overrideCursor())
            heldNs += now - lastTick;
        if (openedAt > 0 && lastTick >= openedAt)
            longestAfterOpen = std::max(longestAfterOpen, now - lastTick);
        lastTick = now;
    });

    QTimer::singleShot(200, &app, [&] {
        clock.start();
        lastTick = 0; // the open's own stretch counts too
        ticks.start();
        click(skinOf(window).ImgOpenFile);
        openedAt = clock.nsecsElapsed();
        QTimer *poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, &app, [&, poll] {
            if (!(player->currentMedia().duration() > 0))
                return;
            poll->stop();
            click(skinOf(window).ImgKaishi);
            click(skinOf(window).ImgMowei);
            markedAt = clock.nsecsElapsed();
            QTimer::singleShot(200, &app, &QCoreApplication::quit);
        });
        poll->start(1);
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();
    const ShapeRect &selection = *skinOf(window).ShapXuan;
    std::printf("open_ms=%.1f marked_at_ms=%.1f longest_gap_ms=%.1f "
                "longest_gap_after_open_ms=%.1f mark_waited_ms=%.1f selection_twips=%.0f+%.0f\n",
                static_cast<double>(openedAt) / 1e6, static_cast<double>(markedAt) / 1e6,
                static_cast<double>(longestGap) / 1e6, static_cast<double>(longestAfterOpen) / 1e6,
                static_cast<double>(heldNs) / 1e6, double(selection.Left()),
                double(selection.Width()));
    return markedAt > 0 ? 0 : 1;
}
