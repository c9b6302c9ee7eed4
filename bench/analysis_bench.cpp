// Times the analysis an Open makes of an MP3 (the very function the window runs), and reports its
// peak memory. Usage:
//   bench_analysis FILE [RUNS]     prints the median of RUNS (default 5) and every run

#include "mp3/Mp3Scan.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

namespace {

// Processor time of this thread: on a busy machine the wall clock also counts other programs.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    try {
        std::vector<double> times;
        std::vector<double> cpu;
        qint64 frames = 0;
        bool linear = false;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            const double cpuBefore = cpuMs();
            timer.start();
            const Mp3Analysis analysis = analyseMp3(path);
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            cpu.push_back(cpuMs() - cpuBefore);
            frames = analysis.frameCount();
            linear = analysis.linear;
        }
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        std::sort(cpu.begin(), cpu.end());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("median_ms=%.1f cpu_median_ms=%.1f cpu_max_ms=%.1f frames=%lld linear=%d "
                    "maxrss_kib=%ld runs_ms=",
                    sorted[sorted.size() / 2], cpu[cpu.size() / 2], cpu.back(),
                    static_cast<long long>(frames), linear ? 1 : 0, usage.ru_maxrss);
        for (double t : times)
            std::printf("%.1f ", t);
        std::printf("\n");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
