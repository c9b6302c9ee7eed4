#include "FakePlatform.h"

#include "app/FrmMain.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3PieceHeader.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

// The header frame of a piece cut from MP3 files made here with sox and lame, checked against what
// ffprobe and ffmpeg make of the piece.
class TestMp3Piece : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pieceFromBeginningStatesItsLength_data();
    void pieceFromBeginningStatesItsLength();
    void vbriPieceFromBeginningStatesItsLength();
    void vbrPieceFromMiddleGetsItsOwnXingFrame();
    void otherwiseTheBytesAreTodays_data();
    void otherwiseTheBytesAreTodays();
    void windowSavesPiecesThatStateTheirLength_data();
    void windowSavesPiecesThatStateTheirLength();

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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double probedDuration(const QString &path)
{
    return run(QStringLiteral("ffprobe"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                path})
        .trimmed()
        .toDouble();
}

// Samples per channel that ffmpeg decodes from the file.
qint64 decodedSamples(const QString &path)
{
    const QByteArray pcm =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
             QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"),
             QStringLiteral("s16le"), QStringLiteral("-")});
    return pcm.size() / 2;
}

// The frame map as ffprobe sees the file: its packets are the audio frames, and what lies between
// the tag and the first of them is the header frame.
Mp3Analysis analyse(const QString &path)
{
    const QByteArray bytes = contents(path);
    Mp3Analysis analysis;
    analysis.fileSize = bytes.size();
    if (bytes.startsWith("ID3")) {
        const auto b = [&](int i) { return qint64(uchar(bytes[i]) & 0x7f); };
        analysis.audioBegin = 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9));
    }
    const QList<QByteArray> lines =
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
             QStringLiteral("packet=pos,size"), QStringLiteral("-select_streams"),
             QStringLiteral("a"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), path})
            .split('\n');
    for (const QByteArray &line : lines) {
        // size,pos; the first packet of a LAME file adds a field for its skipped samples.
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 2 && !fields[1].isEmpty())
            analysis.appendFrame(fields[1].toLongLong(), fields[0].toInt());
    }
    if (analysis.frameCount() == 0)
        return analysis;
    const qint64 first = analysis.frameOffset(0);
    const auto *h = reinterpret_cast<const uchar *>(bytes.constData() + first);
    const int versionBits = (h[1] >> 3) & 3;
    analysis.format.version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    analysis.format.layer = 4 - ((h[1] >> 1) & 3);
    static const int rates[] = {44100, 48000, 32000};
    analysis.format.sampleRate = rates[(h[2] >> 2) & 3] / (versionBits == 3 ? 1 : 2);
    analysis.format.channelMode = h[3] >> 6;
    analysis.format.samplesPerFrame = versionBits == 3 ? 1152 : 576;
    if (first > analysis.audioBegin) {
        const QByteArray frame = bytes.mid(analysis.audioBegin, first - analysis.audioBegin);
        Mp3HeaderFrame header;
        header.kind = frame.contains("VBRI")   ? Mp3HeaderFrame::Kind::Vbri
                      : frame.contains("Info") ? Mp3HeaderFrame::Kind::Info
                                               : Mp3HeaderFrame::Kind::Xing;
        header.offset = analysis.audioBegin;
        header.size = qint32(first - analysis.audioBegin);
        analysis.headerFrame = header;
    }
    const qint64 last = analysis.frameCount() - 1;
    analysis.audioEnd = analysis.frameOffset(last) + analysis.frameSize(last);
    return analysis;
}

qint64 frameEnd(const Mp3Analysis &analysis, qint64 index)
{
    return analysis.frameOffset(index) + analysis.frameSize(index);
}

// Cuts bytes first..last (0-based) of `source` into `target` with the header the piece needs.
PieceHeader cut(const QString &source, qint64 first, qint64 last, const QString &target)
{
    const PieceHeader header = readPieceHeader(analyse(source), source, first, last);
    CopyByteRange(source, qint32(first + 1), qint32(last - first + 1), target, {},
                  CopyMethod::Kernel, header);
    return header;
}

} // namespace

void TestMp3Piece::initTestCase()
{
    for (const char *tool : {"sox", "lame", "ffprobe", "ffmpeg"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    QVERIFY(m_dir.isValid());
    // 24 s: a quiet half then a loud one, so a VBR encoder's bytes are far from linear in time.
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
         QStringLiteral("2"), path("quiet.wav"), QStringLiteral("synth"), QStringLiteral("12"),
         QStringLiteral("sine"), QStringLiteral("440"), QStringLiteral("vol"),
         QStringLiteral("0.02")});
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
         QStringLiteral("2"), path("loud.wav"), QStringLiteral("synth"), QStringLiteral("12"),
         QStringLiteral("pinknoise"), QStringLiteral("vol"), QStringLiteral("0.9")});
    run(QStringLiteral("sox"), {path("quiet.wav"), path("loud.wav"), path("song.wav")});
    const QString q = QStringLiteral("--quiet");
    // A tag with a title and a cover before the Info frame, as a tagged file has; noise does not
    // compress, so the tag is as large as the piece's audio.
    QImage cover(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < cover.height(); ++y)
        for (int x = 0; x < cover.width(); ++x)
            cover.setPixel(x, y, QRandomGenerator::global()->generate());
    QVERIFY(cover.save(path("cover.png")));
    run(QStringLiteral("lame"),
        {q, QStringLiteral("-V"), QStringLiteral("2"), QStringLiteral("--id3v2-only"),
         QStringLiteral("--tt"), QStringLiteral("片段"), QStringLiteral("--ti"), path("cover.png"),
         path("song.wav"), path("vbr.mp3")});
    run(QStringLiteral("lame"),
        {q, QStringLiteral("-b"), QStringLiteral("128"), path("song.wav"), path("cbr-info.mp3")});
    run(QStringLiteral("lame"), {q, QStringLiteral("-b"), QStringLiteral("128"),
                                 QStringLiteral("-t"), path("song.wav"), path("cbr-plain.mp3")});
    for (const char *name : {"vbr.mp3", "cbr-info.mp3", "cbr-plain.mp3"})
        QVERIFY2(QFile::exists(path(QString::fromLatin1(name))), name);
    // The map agrees with the encoder's own count of the frames.
    const Mp3Analysis vbr = analyse(path("vbr.mp3"));
    QVERIFY(vbr.headerFrame);
    QVERIFY(vbr.audioBegin > 150000);
    const QByteArray bytes = contents(path("vbr.mp3"));
    const qsizetype xing = bytes.indexOf("Xing");
    QCOMPARE(vbr.headerFrame->offset + 36, qint64(xing));
    QCOMPARE(bytes.mid(xing + 8, 4).toHex().toLongLong(nullptr, 16), vbr.frameCount());
    QVERIFY(!analyse(path("cbr-plain.mp3")).headerFrame);
}

void TestMp3Piece::pieceFromBeginningStatesItsLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("frameAligned");
    // The VBR piece ends where a frame does; the CBR piece where the byte formula puts it.
    QTest::newRow("VBR with a tag") << QStringLiteral("vbr.mp3") << true;
    QTest::newRow("CBR with an Info frame") << QStringLiteral("cbr-info.mp3") << false;
}

void TestMp3Piece::pieceFromBeginningStatesItsLength()
{
    QFETCH(QString, name);
    QFETCH(bool, frameAligned);
    const QString source = path(name);
    const Mp3Analysis analysis = analyse(source);
    const double seconds = 15.0;
    const qint64 last =
        frameAligned
            ? frameEnd(analysis, analysis.frameAt(seconds)) - 1
            : qint64(std::llround(seconds / probedDuration(source) * double(analysis.fileSize))) -
                  1;
    const QString piece = path(QStringLiteral("start-") + name);
    const PieceHeader header = cut(source, 0, last, piece);

    QVERIFY(header.head.isEmpty());
    QCOMPARE(header.patchAt, analysis.headerFrame->offset);
    QCOMPARE(header.patch.size(), analysis.headerFrame->size);
    const double decoded = double(decodedSamples(piece)) / analysis.format.sampleRate;
    QVERIFY2(std::abs(probedDuration(piece) - seconds) < 0.5,
             qPrintable(QString::number(probedDuration(piece))));
    QVERIFY2(std::abs(decoded - seconds) < 0.5, qPrintable(QString::number(decoded)));

    // The frame's tag checksum stays right, and the title tag before it is the source's.
    const QByteArray bytes = contents(piece);
    const QByteArray frame = bytes.mid(header.patchAt, header.patch.size());
    const qsizetype crcAt = frame.indexOf("LAME") + 34;
    QVERIFY(crcAt > 34);
    QCOMPARE(quint16((uchar(frame[crcAt]) << 8) | uchar(frame[crcAt + 1])),
             lameCrc16(frame.constData(), crcAt));
    QVERIFY(bytes.left(header.patchAt) == contents(source).left(header.patchAt));
}

void TestMp3Piece::vbriPieceFromBeginningStatesItsLength()
{
    // lame writes no VBRI frame: the VBR file's Xing frame is turned into one, with one table
    // entry (the bytes) for every 100 frames.
    const Mp3Analysis vbr = analyse(path("vbr.mp3"));
    QByteArray bytes = contents(path("vbr.mp3"));
    const qint64 at = vbr.headerFrame->offset;
    const auto put = [&](qint64 offset, int size, qint64 value) {
        for (int i = 0; i < size; ++i)
            bytes[at + offset + i] = char(value >> (8 * (size - 1 - i)));
    };
    const int perEntry = 100;
    const int entries = int(vbr.frameCount() / perEntry);
    bytes.replace(at + 36, vbr.headerFrame->size - 36, QByteArray(vbr.headerFrame->size - 36, 0));
    bytes.replace(at + 36, 4, "VBRI");
    put(40, 2, 1);
    put(46, 4, vbr.fileSize - at);
    put(50, 4, vbr.frameCount());
    put(54, 2, entries);
    put(56, 2, 1);
    put(58, 2, 2);
    put(60, 2, perEntry);
    for (int i = 0; i < entries; ++i)
        put(62 + 2 * i, 2, vbr.frameOffset((i + 1) * perEntry) - vbr.frameOffset(i * perEntry));
    const QString source = path("vbri.mp3");
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QVERIFY(std::abs(probedDuration(source) - vbr.duration()) < 0.1);

    const Mp3Analysis analysis = analyse(source);
    QCOMPARE(analysis.headerFrame->kind, Mp3HeaderFrame::Kind::Vbri);
    const qint64 lastFrame = analysis.frameAt(15.0);
    const QString piece = path("start-vbri.mp3");
    const PieceHeader header = cut(source, 0, frameEnd(analysis, lastFrame) - 1, piece);
    QCOMPARE(header.patchAt, at);
    QVERIFY2(std::abs(probedDuration(piece) - 15.0) < 0.5,
             qPrintable(QString::number(probedDuration(piece))));
    // Only the table's entries for frames the piece holds are left.
    const QByteArray frame = contents(piece).mid(at, analysis.headerFrame->size);
    QCOMPARE((uchar(frame[54]) << 8) | uchar(frame[55]), int((lastFrame + 1) / perEntry));
}

void TestMp3Piece::vbrPieceFromMiddleGetsItsOwnXingFrame()
{
    const QString source = path("vbr.mp3");
    const Mp3Analysis analysis = analyse(source);
    const qint64 firstFrame = analysis.frameAt(5.0);
    const qint64 lastFrame = analysis.frameAt(17.0);
    const qint64 first = analysis.frameOffset(firstFrame);
    const qint64 last = frameEnd(analysis, lastFrame) - 1;
    const QString piece = path("middle.mp3");
    const PieceHeader header = cut(source, first, last, piece);

    QVERIFY(!header.head.isEmpty());
    QCOMPARE(header.patchAt, qint64(-1));
    const QByteArray bytes = contents(piece);
    QVERIFY(bytes.startsWith(header.head));
    QVERIFY(bytes.mid(header.head.size()) == contents(source).mid(first, last - first + 1));

    // The new frame parses: the length it states is the length the piece decodes to.
    const qint64 spf = analysis.format.samplesPerFrame;
    const qint64 samples = decodedSamples(piece);
    QVERIFY2(std::abs(samples - (lastFrame - firstFrame + 1) * spf) <= spf,
             qPrintable(QString::number(samples)));
    QVERIFY2(std::abs(probedDuration(piece) - double(samples) / analysis.format.sampleRate) <=
                 double(spf) / analysis.format.sampleRate,
             qPrintable(QString::number(probedDuration(piece))));
}

void TestMp3Piece::otherwiseTheBytesAreTodays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("from"); // fractions of the file's size
    QTest::addColumn<double>("to");
    QTest::newRow("CBR without tags, from the beginning")
        << QStringLiteral("cbr-plain.mp3") << 0.0 << 0.6;
    QTest::newRow("CBR without tags, the middle") << QStringLiteral("cbr-plain.mp3") << 0.3 << 0.7;
    QTest::newRow("CBR with an Info frame, the middle")
        << QStringLiteral("cbr-info.mp3") << 0.3 << 0.7;
    QTest::newRow("the whole VBR file") << QStringLiteral("vbr.mp3") << 0.0 << 1.0;
}

void TestMp3Piece::otherwiseTheBytesAreTodays()
{
    QFETCH(QString, name);
    QFETCH(double, from);
    QFETCH(double, to);
    const QString source = path(name);
    const QByteArray bytes = contents(source);
    const qint64 first = qint64(from * double(bytes.size()));
    const qint64 last = qint64(to * double(bytes.size())) - 1;
    const QString piece = path(QStringLiteral("same-") + name);
    const PieceHeader header = cut(source, first, last, piece);

    QVERIFY(header.head.isEmpty());
    QVERIFY(header.patch.isEmpty());
    QVERIFY(contents(piece) == bytes.mid(first, last - first + 1));
}

void TestMp3Piece::windowSavesPiecesThatStateTheirLength_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("from the beginning") << 0.0 << 15.0;
    QTest::newRow("from the middle") << 5.0 << 17.0;
}

void TestMp3Piece::windowSavesPiecesThatStateTheirLength()
{
    QFETCH(double, start);
    QFETCH(double, end);
    const QString source = path("vbr.mp3");
    const QString piece = path(QStringLiteral("window-%1.mp3").arg(start));
    FakePlatform fake;
    FrmMain window(fake.take());
    fake.open->answers << source;
    fake.player->length = probedDuration(source);
    window.ImgOpenFile_Click();
    fake.player->position = start;
    window.ImgKaishi_Click();
    fake.player->position = end;
    window.ImgJiesu_Click();
    fake.save->answers << piece;
    window.ImgSave_Click();
    QCOMPARE(fake.messages->shown.back().text, QStringLiteral("剪切成功！"));

    // Players read the marked length from the piece, and that is what it decodes to.
    const double stated = probedDuration(piece);
    const double decoded = double(decodedSamples(piece)) / 44100;
    QVERIFY2(std::abs(stated - (end - start)) < 0.5, qPrintable(QString::number(stated)));
    QVERIFY2(std::abs(stated - decoded) < 0.05, qPrintable(QString::number(decoded)));
}

QTEST_MAIN(TestMp3Piece)
#include "tst_mp3piece.moc"
