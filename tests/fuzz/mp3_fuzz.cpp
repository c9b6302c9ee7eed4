// libFuzzer target: the MP3 analysis, the planning of a piece's header frame and the rewrite of
// the source's tags, on whatever bytes come. Built and run by scripts/fuzz-mp3.sh, not by CMake.
#include "fileio/FileIoError.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3Bytes.h"
#include "mp3/Mp3Piece.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Scan.h"
#include "mp3/Mp3Tags.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The analysis reads a file; one per process, in memory-backed /dev/shm where there is one.
const QString &inputPath()
{
    static const QString path = [] {
        std::atexit([] { std::remove(inputPath().toLocal8Bit().constData()); });
        return QStringLiteral("/dev/shm/velquist-fuzz-%1.mp3").arg(::getpid());
    }();
    return path;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void planAndCheck(const Mp3Analysis &analysis, const QByteArray &bytes, qint64 start, qint64 end)
{
    const ReadBytes read = [&](qint64 offset, qint64 length) {
        check(offset >= 0 && length >= 0);
        return bytes.mid(offset, length);
    };
    const auto plan = planPiece(analysis, read, start, end);
    if (!plan)
        return;
    check(plan->first >= 0 && plan->first <= plan->last && plan->last < bytes.size());
    check(plan->edits.patchAt < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    FILE *file = std::fopen(inputPath().toLocal8Bit().constData(), "wb");
    check(file && std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    Mp3Analysis analysis;
    try {
        analysis = analyseMp3(inputPath());
    } catch (const FileIoError &) {
        return 0;
    }
    check(analysis.audioBegin <= analysis.audioEnd && analysis.audioEnd <= analysis.fileSize);
    for (qint64 i = 0; i < analysis.frameCount(); ++i)
        check(analysis.frameOffset(i) + analysis.frameSize(i) <= analysis.fileSize);

    // Marks from the input's last bytes, and a few fixed ones.
    const qint64 samples = gaplessTimeline(analysis).samples;
    quint32 seed = 0;
    for (size_t i = size > 4 ? size - 4 : 0; i < size; ++i)
        seed = seed << 8 | data[i];
    const qint64 a = samples > 0 ? qint64(seed % quint32(samples)) : 0;
    const qint64 b = samples > 0 ? qint64((seed >> 7) % quint32(samples)) + 1 : 1;
    planAndCheck(analysis, bytes, std::min(a, b), std::max(a, b));
    planAndCheck(analysis, bytes, 0, samples / 2 + 1);
    planAndCheck(analysis, bytes, samples / 3, samples);
    planAndCheck(analysis, bytes, 0, samples);
    frameOfSample(analysis, a);

    // The header-frame rewrite of pieces cut at bytes.
    const QByteArray header =
        analysis.headerFrame ? bytes.mid(analysis.headerFrame->offset, analysis.headerFrame->size)
                             : QByteArray();
    const qint64 third = analysis.fileSize / 3;
    const ReadBytes read = [&](qint64 offset, qint64 length) {
        check(offset >= 0 && length >= 0);
        return bytes.mid(offset, length);
    };
    pieceHeader(analysis, header, 0, 2 * third, read);
    pieceHeader(analysis, header, third, analysis.fileSize - 1, read);

    // The tags a piece carries are whole ID3v2 tags, which read the same the second time.
    const PieceTags tags = pieceTags(analysis, read, a);
    for (qsizetype at = 0; at < tags.front.size();) {
        check(at + 10 <= tags.front.size());
        const qint64 size =
            mp3::id3v2TagSize(reinterpret_cast<const uchar *>(tags.front.constData() + at));
        check(size > 0 && at + size <= tags.front.size());
        const QByteArray tag = tags.front.mid(at, size);
        check(id3v2ForPiece(tag, a) == tag);
        at += size;
    }
    return 0;
}
