// Start-up time of the program against a bare Qt window: both are started in turn, several times,
// each until its first showing has been processed, and the medians are compared.
//
//   bench_startup [--runs N] [--max-ratio R]
//
// With --max-ratio the exit status is 1 when the program takes more than R times the bare window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds from starting the process to its exit; negative when it did not run cleanly.
double timeOneStart(const QString &program)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());

    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("starts of each"),
                                        QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption maxRatioOption(
        QStringLiteral("max-ratio"), QStringLiteral("fail above this ratio"), QStringLiteral("R"));
    parser.addOptions({runsOption, maxRatioOption});
    parser.process(app);
    const int runs = std::max(1, parser.value(runsOption).toInt());

    const QString program = QStringLiteral(VELQUIST_PROGRAM);
    const QString bare = QStringLiteral(VELQUIST_BARE_WINDOW);
    const QString text = QStringLiteral(VELQUIST_TEXT_WINDOW);

    // One unmeasured start of each, so that neither pays alone for a cold disk cache.
    if (timeOneStart(program) < 0 || timeOneStart(bare) < 0 || timeOneStart(text) < 0) {
        std::fprintf(stderr, "bench_startup: a program did not start and leave cleanly\n");
        return 2;
    }
    std::vector<double> programTimes, bareTimes, textTimes;
    for (int run = 0; run < runs; ++run) {
        // Alternating keeps a slow spell of the machine from landing on one side only.
        const double programTime = timeOneStart(program);
        const double bareTime = timeOneStart(bare);
        const double textTime = timeOneStart(text);
        if (programTime < 0 || bareTime < 0 || textTime < 0) {
            std::fprintf(stderr, "bench_startup: a start failed in run %d\n", run + 1);
            return 2;
        }
        programTimes.push_back(programTime);
        bareTimes.push_back(bareTime);
        textTimes.push_back(textTime);
    }

    const double programMedian = median(programTimes);
    const double bareMedian = median(bareTimes);
    const double ratio = programMedian / bareMedian;
    std::printf("start-up to first showing, median of %d starts (offscreen)\n", runs);
    std::printf("  velquist-mp3-cutter  %8.1f ms\n", programMedian);
    std::printf("  bare Qt window       %8.1f ms\n", bareMedian);
    std::printf("  ratio                %8.2f\n", ratio);
    // Any window that shows text pays for starting the font database; this shows our share.
    const double textMedian = median(textTimes);
    std::printf("  bare window + text   %8.1f ms\n", textMedian);
    std::printf("  ratio to it          %8.2f\n", programMedian / textMedian);

    if (parser.isSet(maxRatioOption)) {
        const double maxRatio = parser.value(maxRatioOption).toDouble();
        if (ratio > maxRatio) {
            std::printf("slower than %.2f times the bare window\n", maxRatio);
            return 1;
        }
    }
    return 0;
}
