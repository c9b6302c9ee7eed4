// Cuts a sample-true piece the way the save plans it, its audio without the source's tags, for
// bench/measure_cuts.py:
//   bench_cut_piece SOURCE               prints the gapless timeline's length in samples
//   bench_cut_piece SOURCE START END OUT writes samples [START, END) of SOURCE to OUT
#include "fileio/ByteRange.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3Piece.h"
#include "mp3/Mp3Scan.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 5) {
        std::fprintf(stderr, "usage: bench_cut_piece SOURCE [START END OUT]\n");
        return 2;
    }
    try {
        const Mp3Analysis analysis = analyseMp3(args[1]);
        if (args.size() == 2) {
            std::printf("%lld\n", static_cast<long long>(gaplessTimeline(analysis).samples));
            return 0;
        }
        const auto plan = planPiece(analysis, args[1], args[2].toLongLong(), args[3].toLongLong());
        if (!plan) {
            std::fprintf(stderr, "no sample-true plan for these marks\n");
            return 1;
        }
        CopyOptions options;
        options.edits = plan->edits;
        CopyByteRange(args[1], qint32(plan->first + 1), qint32(plan->last - plan->first + 1),
                      args[4], options);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
