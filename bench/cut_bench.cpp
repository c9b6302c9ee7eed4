// Times the save's own copy: CopyByteRange of the marked range into a new file, with waiting
// events let through after each slice as the window does. Usage:
//   bench_cut [--buffered] SOURCE OFFSET COUNT TARGET   (OFFSET 0-based, COUNT in bytes)
// --buffered forces the plain read/write path that stands in where the kernel copy is refused.

#include "fileio/ByteRange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    CopyMethod method = CopyMethod::Kernel;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--buffered") == 0) {
        method = CopyMethod::Buffered;
        ++first;
    }
    if (argc - first != 4) {
        std::fprintf(stderr, "usage: %s [--buffered] SOURCE OFFSET COUNT TARGET\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[first]);
    bool okOffset = false;
    bool okCount = false;
    const qint64 offset = QByteArray(argv[first + 1]).toLongLong(&okOffset);
    const qint32 count = QByteArray(argv[first + 2]).toInt(&okCount);
    const QString target = QString::fromLocal8Bit(argv[first + 3]);
    if (!okOffset || !okCount || offset < 0 || offset >= 0x7fffffff) {
        std::fprintf(stderr, "OFFSET and COUNT must be 32-bit numbers\n");
        return 2;
    }

    try {
        int pumps = 0;
        qint64 lastPumpMs = 0;
        QElapsedTimer timer;
        timer.start();
        const auto pump = [&] {
            ++pumps;
            QCoreApplication::processEvents();
            lastPumpMs = timer.elapsed();
        };
        CopyByteRange(source, qint32(offset + 1), count, target, {pump, {}, {}, method, {}});
        const qint64 totalMs = timer.elapsed();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        // The tail is the time after the last event pass: the window's longest freeze.
        std::printf("total_ms=%lld pumps=%d tail_ms=%lld maxrss_kib=%ld\n",
                    static_cast<long long>(totalMs), pumps,
                    static_cast<long long>(totalMs - lastPumpMs), usage.ru_maxrss);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
