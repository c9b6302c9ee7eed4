#include "fileio/ByteRange.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3Piece.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Scan.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

// Pieces cut to the sample, decoded by ffmpeg and by mpg123 and held against the source decoded
// by the same decoder: the samples between the marks, and nothing else.
class TestMp3Cut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void piecesPlayExactlyTheMarkedSamples_data();
    void piecesPlayExactlyTheMarkedSamples();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

namespace {

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return process.readAllStandardOutput();
}

// Interleaved 16-bit samples as each decoder plays the file, gaplessly.
QByteArray decoded(const QString &decoder, const QString &file)
{
    if (decoder == "ffmpeg")
        return run("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-"});
    return run("mpg123", {"-q", "-s", file});
}

} // namespace

void TestMp3Cut::initTestCase()
{
    for (const char *tool : {"sox", "lame", "ffmpeg", "mpg123"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    QVERIFY(m_dir.isValid());
    // A tone, then noise: quiet frames lean on the reservoir, loud ones fill it.
    run("sox", {"-n", "-r", "44100", "-c", "2", path("tone.wav"), "synth", "4", "sine", "300-900",
                "vol", "0.3"});
    run("sox", {"-n", "-r", "44100", "-c", "2", path("noise.wav"), "synth", "4", "pinknoise", "vol",
                "0.5"});
    run("sox", {path("tone.wav"), path("noise.wav"), path("song.wav")});
    const auto lame = [this](const QString &name, QStringList options) {
        run("lame", QStringList{"--quiet"} + options + QStringList{path("song.wav"), path(name)});
    };
    lame("vbr.mp3", {"-V", "2", "--id3v2-only", "--tt", "title"});
    lame("cbr-info.mp3", {"-b", "128", "--tt", "title"});
    lame("cbr-plain.mp3", {"-b", "128", "-t"});
    lame("crc.mp3", {"-p", "-V", "2"});
    lame("mpeg2.mp3", {"-V", "5", "--resample", "22.05"});
}

void TestMp3Cut::piecesPlayExactlyTheMarkedSamples_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("start"); // share of the timeline
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("tolerance"); // in the last bit
    for (const char *name : {"vbr", "cbr-info", "cbr-plain", "crc", "mpeg2"}) {
        // mpg123 rounds a few MPEG-2 samples of a piece one step apart from the source's.
        const int tolerance = QByteArray(name) == "mpeg2" ? 1 : 0;
        QTest::addRow("%s, from the start", name) << name << 0.0 << 0.37 << tolerance;
        QTest::addRow("%s, the middle", name) << name << 0.413 << 0.8171 << tolerance;
        // Longer than a frame: ffmpeg loses the skip at the start when the trim at the end
        // falls in the same frame.
        QTest::addRow("%s, a short stretch", name) << name << 0.6009 << 0.6081 << tolerance;
        QTest::addRow("%s, to the end", name) << name << 0.2523 << 1.0 << tolerance;
    }
}

void TestMp3Cut::piecesPlayExactlyTheMarkedSamples()
{
    QFETCH(QString, name);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(int, tolerance);
    const QString source = path(name + ".mp3");
    const Mp3Analysis analysis = analyseMp3(source);
    const Mp3Timeline timeline = gaplessTimeline(analysis);
    const auto first = qint64(start * double(timeline.samples));
    const auto last = qint64(end * double(timeline.samples));
    const auto plan = planPiece(analysis, source, first, last);
    QVERIFY(plan);
    const QString piece = path("piece.mp3");
    CopyOptions options;
    options.edits = plan->edits;
    CopyByteRange(source, qint32(plan->first + 1), qint32(plan->last - plan->first + 1), piece,
                  options);

    // The piece's own LAME tag, checksums and all, as decoders and tag readers check them.
    const Mp3Analysis pieceAnalysis = analyseMp3(piece);
    QVERIFY(pieceAnalysis.headerFrame && pieceAnalysis.headerFrame->encoderDelay >= 0);
    QFile file(piece);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const qint64 header = pieceAnalysis.headerFrame->offset;
    const qint64 lame = bytes.indexOf("LAME", header);
    const qint64 music = header + pieceAnalysis.headerFrame->size;
    const auto be16 = [&](qint64 at) {
        return quint16(uchar(bytes[at]) << 8 | uchar(bytes[at + 1]));
    };
    QCOMPARE(be16(lame + 34), lameCrc16(bytes.constData() + header, lame + 34 - header));
    QCOMPARE(be16(lame + 32), lameCrc16(bytes.constData() + music, pieceAnalysis.audioEnd - music));

    const int frame = 2 * (analysis.format.channelMode == 3 ? 1 : 2); // bytes per sample
    for (const QString decoder : {"ffmpeg", "mpg123"}) {
        const QByteArray whole = decoded(decoder, source);
        QCOMPARE(whole.size() / frame, timeline.samples);
        const QByteArray expected = whole.mid(first * frame, (last - first) * frame);
        const QByteArray got = decoded(decoder, piece);
        QCOMPARE(got.size() / frame, last - first);
        const auto *a = reinterpret_cast<const qint16 *>(got.constData());
        const auto *b = reinterpret_cast<const qint16 *>(expected.constData());
        for (qsizetype i = 0; i < got.size() / 2; ++i)
            if (std::abs(a[i] - b[i]) > tolerance)
                QFAIL(qPrintable(QStringLiteral("%1: sample %2 of %3 differs by %4")
                                     .arg(decoder)
                                     .arg(i * 2 / frame)
                                     .arg(last - first)
                                     .arg(a[i] - b[i])));
    }
}

QTEST_MAIN(TestMp3Cut)
#include "tst_mp3cut.moc"
