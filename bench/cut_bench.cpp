// Times the save's own path: one ReadByteRange of the marked range, then WriteBytes replacing the
// target. Usage: bench_cut SOURCE OFFSET COUNT TARGET (OFFSET 0-based, COUNT in bytes).

#include "fileio/ByteRange.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCE OFFSET COUNT TARGET\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    bool okOffset = false;
    bool okCount = false;
    const qint64 offset = QByteArray(argv[2]).toLongLong(&okOffset);
    const qint32 count = QByteArray(argv[3]).toInt(&okCount);
    const QString target = QString::fromLocal8Bit(argv[4]);
    if (!okOffset || !okCount || offset < 0 || offset >= 0x7fffffff) {
        std::fprintf(stderr, "OFFSET and COUNT must be 32-bit numbers\n");
        return 2;
    }

    try {
        QElapsedTimer timer;
        timer.start();
        const ByteBuffer bytes = ReadByteRange(source, qint32(offset + 1), count);
        const qint64 readMs = timer.elapsed();
        WriteBytes(target, bytes, -1, true);
        const qint64 totalMs = timer.elapsed();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("read_ms=%lld write_ms=%lld total_ms=%lld maxrss_kib=%ld\n",
                    static_cast<long long>(readMs), static_cast<long long>(totalMs - readMs),
                    static_cast<long long>(totalMs), usage.ru_maxrss);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
