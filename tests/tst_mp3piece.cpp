#include "app/CutSession.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Scan.h"
#include "mp3/Mp3Tags.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

// The header frame of pieces cut from MP3 files made here with sox and lame, checked against what
// ffprobe and ffmpeg make of the piece.
class TestMp3Piece : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void savedPiecesStateTheirLength_data();
    void savedPiecesStateTheirLength();
    void vbriPieceFromBeginningStatesItsLength();
    void otherwiseTheBytesAreTodays_data();
    void otherwiseTheBytesAreTodays();
    void piecesKeepTheSourcesTags();
    void tagsOfEachVersionStateThePiecesLength_data();
    void tagsOfEachVersionStateThePiecesLength();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

namespace {

// `command`: a program and its arguments, separated by spaces (the test's paths have none).
QByteArray run(const QString &command)
{
    QStringList arguments = QProcess::splitCommand(command);
    QProcess process;
    process.start(arguments.takeFirst(), arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qWarning() << command << process.readAllStandardError();
    return process.readAllStandardOutput();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// ffprobe's view of the file's tags (format/tags) and its streams' types and pictures.
QJsonObject probe(const QString &path)
{
    return QJsonDocument::fromJson(run("ffprobe -v error -show_entries format_tags:stream="
                                       "codec_type:stream_disposition=attached_pic -of json " +
                                       path))
        .object();
}

double probedDuration(const QString &path)
{
    return run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + path)
        .trimmed()
        .toDouble();
}

// `input`: a file, or the options and input of a decoding that starts elsewhere.
double decodedSeconds(const QString &input)
{
    const QString from = input.startsWith('-') ? input : "-i " + input;
    return double(run("ffmpeg -v error " + from + " -ac 1 -ar 44100 -f s16le -").size()) / 2 /
           44100;
}

// Bytes that unsynchronisation and sync-safe sizes must carry right: 0xFF before 0xE0 and 0x00,
// and more than 127 of them.
const QByteArray kPayload = QByteArray("\xff\xe0\xff\x00", 4).repeated(50);

// An ID3v2 tag of version 2.`major` with a title, a length of 24000 ms and a private frame;
// `flags`: unsynchronised (0x80), with an extended header holding a checksum (0x40), with a
// footer (0x10). `plainSizes`: 2.4 frame sizes written as 2.3's, as some writers do.
QByteArray id3Tag(int major, uchar flags, bool plainSizes = false)
{
    const auto size = [&](qint64 n, int bytes, bool syncSafe) {
        QByteArray out;
        for (int i = bytes - 1; i >= 0; --i)
            out += char(syncSafe ? (n >> (7 * i)) & 0x7f : (n >> (8 * i)) & 0xff);
        return out;
    };
    const auto frame = [&](const QByteArray &id, const QByteArray &data) {
        return major == 2
                   ? id.left(3) + size(data.size(), 3, false) + data
                   : id + size(data.size(), 4, major == 4 && !plainSizes) + QByteArray(2, 0) + data;
    };
    QByteArray body = frame(major == 2 ? "TT2" : "TIT2", '\0' + QByteArray("Song")) +
                      frame(major == 2 ? "TLE" : "TLEN", '\0' + QByteArray("24000")) +
                      frame(major == 2 ? "PRV" : "PRIV", kPayload) + QByteArray(20, '\0');
    if (flags & 0x40)
        body.prepend(major == 3 ? QByteArray("\0\0\0\x0a\x80\0\0\0\0\x14\x12\x34\x56\x78", 14)
                                : QByteArray("\0\0\0\x0b\x01\x20\x01\x02\x03\x04\x05", 11));
    if (major < 4 && (flags & 0x80))
        body.replace("\xff", QByteArray("\xff\x00", 2));
    const QByteArray header =
        char(major) + QByteArray(1, '\0') + char(flags) + size(body.size(), 4, true);
    return "ID3" + header + body + ((flags & 0x10) ? "3DI" + header : QByteArray());
}

} // namespace

void TestMp3Piece::initTestCase()
{
    for (const char *tool : {"sox", "lame", "ffprobe", "ffmpeg", "mpg123"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    QVERIFY(m_dir.isValid());
    // 24 s: a quiet half then a loud one, so a VBR encoder's bytes are far from linear in time.
    const QString wav = " -r 44100 -c 2 " + path("%1.wav") + " synth 12 ";
    run("sox -n" + wav.arg("quiet") + "sine 440 vol 0.02");
    run("sox -n" + wav.arg("loud") + "pinknoise vol 0.9");
    run("sox " + path("quiet.wav") + ' ' + path("loud.wav") + ' ' + path("song.wav"));
    // The VBR file has a tag with a cover of about 500 KB, as large as a piece's audio (noise
    // does not compress).
    QImage cover(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < cover.height(); ++y)
        for (int x = 0; x < cover.width(); ++x)
            cover.setPixel(x, y, QRandomGenerator::global()->generate());
    QVERIFY(cover.save(path("cover.png")));
    const QString lame = "lame --quiet %1 " + path("song.wav") + ' ' + path("%2.mp3");
    run(lame.arg("-V 2 --id3v2-only --tt title --ti " + path("cover.png"), "vbr"));
    run(lame.arg("-V 5 -m m --resample 22.05", "vbr-mpeg2-mono"));
    run(lame.arg("-b 128", "cbr-info"));
    run(lame.arg("-b 128 -t", "cbr-plain"));
    QVERIFY(analyseMp3(path("vbr.mp3")).audioBegin > 450000);
    QVERIFY(analyseMp3(path("cbr-info.mp3")).headerFrame);
    QVERIFY(!analyseMp3(path("cbr-plain.mp3")).headerFrame);
}

void TestMp3Piece::savedPiecesStateTheirLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("xingAt"); // in a new header frame: after the side information
    // The VBR file's marks come from its frames; the CBR file's from the byte formulas, so its
    // piece ends inside a frame.
    QTest::newRow("VBR from the beginning") << QStringLiteral("vbr") << 0.0 << 15.0 << 0;
    QTest::newRow("VBR from the middle") << QStringLiteral("vbr") << 5.0 << 17.0 << 4 + 32;
    QTest::newRow("VBR MPEG-2 mono from the middle")
        << QStringLiteral("vbr-mpeg2-mono") << 5.0 << 17.0 << 4 + 9;
    QTest::newRow("CBR with an Info frame from the beginning")
        << QStringLiteral("cbr-info") << 0.0 << 15.0 << 0;
}

void TestMp3Piece::savedPiecesStateTheirLength()
{
    QFETCH(QString, name);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(int, xingAt);
    const QString source = path(name + ".mp3");
    const QString piece = path(QStringLiteral("piece-%1-%2.mp3").arg(name).arg(start));
    // Marked and saved as the window does it.
    CutSession session(BarSpan{720, 4935}, Selection{});
    session.open(source);
    const double duration = probedDuration(source);
    session.markStart([&] { return PlayerTime{start, duration}; });
    session.markEnd([&] { return PlayerTime{end, duration}; });
    const SavePlan plan = session.planSave(piece);
    CopyOptions options;
    options.edits = plan.edits;
    QCOMPARE(CopyByteRange(plan.source, plan.start, plan.count, piece, options),
             CopyOutcome::Completed);
    const qint32 from = plan.start;
    const qint32 count = plan.count;

    // Players read the marked length from the piece, and that is what it decodes to.
    const double stated = probedDuration(piece);
    QVERIFY2(std::abs(stated - (end - start)) < 0.5, qPrintable(QString::number(stated)));
    QVERIFY2(std::abs(stated - decodedSeconds(piece)) < 0.05, qPrintable(QString::number(stated)));
    // A seek through the table of contents lands where the piece's own time says.
    const double rest = decodedSeconds("-usetoc 1 -ss 6 -i " + piece);
    QVERIFY2(std::abs(stated - 6 - rest) < 0.3, qPrintable(QString::number(rest)));

    // After the source's tag, only the header frame differs from the source's bytes: patched in
    // place, or written first.
    const QByteArray bytes = contents(piece).mid(analyseMp3(piece).audioBegin);
    const QByteArray range = contents(source).mid(from - 1, count);
    const Mp3HeaderFrame header = *analyseMp3(source).headerFrame;
    const qint64 headerAt = header.offset - (from - 1);
    // The LAME tag's checksums cover the counts and the piece's audio, and hold.
    const qsizetype lame = bytes.indexOf("LAME", start > 0 ? 0 : headerAt);
    const auto be16 = [&](qsizetype at) {
        return quint16((uchar(bytes[at]) << 8) | uchar(bytes[at + 1]));
    };
    const qint64 frameAt = start > 0 ? 0 : headerAt;
    const qint64 audio = start > 0 ? bytes.size() - range.size() : headerAt + header.size;
    const qint64 audioEnd = frameAt + qint64(be16(lame + 28)) * 65536 + be16(lame + 30);
    QCOMPARE(be16(lame + 34), lameCrc16(bytes.constData() + frameAt, lame + 34 - frameAt));
    QCOMPARE(be16(lame + 32), lameCrc16(bytes.constData() + audio, audioEnd - audio));
    if (start > 0) {
        // Both decoders read the same length from a Xing frame of the piece's own.
        QCOMPARE(run("mpg123 -q -s " + piece).size(),
                 run("ffmpeg -v error -i " + piece + " -f s16le -").size());
        QVERIFY(bytes.size() > range.size() && bytes.endsWith(range));
        QCOMPARE(bytes.indexOf("Xing"), xingAt);
        return;
    }
    QCOMPARE(bytes.size(), range.size());
    QVERIFY(bytes.left(headerAt) == range.left(headerAt));
    const qint64 after = headerAt + header.size;
    QVERIFY(bytes.mid(after) == range.mid(after));
}

void TestMp3Piece::vbriPieceFromBeginningStatesItsLength()
{
    // lame writes no VBRI frame: the VBR file's Xing frame becomes one, with a table entry (the
    // bytes) for every 100 frames.
    const Mp3Analysis vbr = analyseMp3(path("vbr.mp3"));
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

    const Mp3Analysis analysis = analyseMp3(source);
    QCOMPARE(analysis.headerFrame->kind, Mp3HeaderFrame::Kind::Vbri);
    const qint64 lastFrame = analysis.frameAt(15.0);
    const qint64 last = analysis.frameOffset(lastFrame) + analysis.frameSize(lastFrame) - 1;
    const PieceHeader header = readPieceHeader(analysis, source, 0, last);
    QCOMPARE(header.patchAt, at);
    const QString piece = path("start-vbri.mp3");
    CopyOptions withHeader;
    withHeader.edits = header;
    CopyByteRange(source, 1, qint32(last + 1), piece, withHeader);
    QVERIFY2(std::abs(probedDuration(piece) - 15.0) < 0.5,
             qPrintable(QString::number(probedDuration(piece))));
    // Only the table's entries for frames the piece holds are left.
    QCOMPARE((uchar(header.patch[54]) << 8) | uchar(header.patch[55]),
             int((lastFrame + 1) / perEntry));
}

void TestMp3Piece::otherwiseTheBytesAreTodays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("from"); // fractions of the file's size
    QTest::addColumn<double>("to");
    QTest::newRow("CBR without tags, from the beginning")
        << QStringLiteral("cbr-plain") << 0.0 << 0.6;
    QTest::newRow("CBR without tags, the middle") << QStringLiteral("cbr-plain") << 0.3 << 0.7;
    QTest::newRow("CBR with an Info frame, the middle") << QStringLiteral("cbr-info") << 0.3 << 0.7;
    QTest::newRow("the whole VBR file") << QStringLiteral("vbr") << 0.0 << 1.0;
}

void TestMp3Piece::otherwiseTheBytesAreTodays()
{
    QFETCH(QString, name);
    QFETCH(double, from);
    QFETCH(double, to);
    const QString source = path(name + ".mp3");
    const QByteArray bytes = contents(source);
    const qint64 first = qint64(from * double(bytes.size()));
    const qint64 last = qint64(to * double(bytes.size())) - 1;
    const PieceHeader header = readPieceHeader(analyseMp3(source), source, first, last);
    QVERIFY(header.head.isEmpty());
    QVERIFY(header.patch.isEmpty());
}

void TestMp3Piece::piecesKeepTheSourcesTags()
{
    // Title, artist, a length frame and the cover in ID3v2.3, and ID3v1 at the end; the same
    // audio without the tags beside it.
    const QByteArray picture = contents(path("cover.png"));
    const QString source = path("tagged.mp3");
    run("ffmpeg -v error -i " + path("cbr-info.mp3") + " -i " + path("cover.png") +
        " -map 0 -map 1 -c copy -id3v2_version 3 -write_id3v1 1 -metadata title=Song"
        " -metadata artist=Singer -metadata TLEN=24000 " +
        source);
    const Mp3Analysis analysis = analyseMp3(source);
    const QByteArray bytes = contents(source);
    const QString bare = path("untagged.mp3");
    QVERIFY(
        writeFile(bare, bytes.mid(analysis.audioBegin, analysis.audioEnd - analysis.audioBegin)));
    const QJsonObject probedSource = probe(source);
    const QJsonObject sourceTags = probedSource["format"]["tags"].toObject();
    QCOMPARE(sourceTags["TLEN"].toString(), QStringLiteral("24000"));

    const double duration = double(gaplessTimeline(analysis).samples) / 44100;
    const auto cut = [&](const QString &from, qint64 start, qint64 end, const QString &to) {
        CutSession session(BarSpan{720, 4935}, Selection{});
        session.open(from);
        const auto at = [&](qint64 sample) {
            return [=] {
                return PlayerTime{double(std::max<qint64>(sample, 0)) / 44100, duration, sample};
            };
        };
        session.markStart(at(start));
        session.markEnd(at(end));
        const SavePlan plan = session.planSave(to);
        CopyOptions options;
        options.edits = plan.edits;
        CopyByteRange(plan.source, plan.start, plan.count, to, options);
        return contents(to);
    };

    // 10 s from the middle: the same tags and cover, its own length, the same sound.
    const QByteArray piece = cut(source, 7 * 44100, 17 * 44100, path("tagged-piece.mp3"));
    const QJsonObject probed = probe(path("tagged-piece.mp3"));
    QJsonObject expectedTags = sourceTags;
    expectedTags["TLEN"] = QStringLiteral("10000");
    QCOMPARE(probed["format"]["tags"].toObject(), expectedTags);
    QCOMPARE(probed["streams"][1]["disposition"]["attached_pic"].toInt(), 1);
    QVERIFY(piece.contains(picture));
    QVERIFY(piece.endsWith(bytes.right(128)) && piece.right(128).startsWith("TAG"));
    cut(bare, 7 * 44100, 17 * 44100, path("bare-piece.mp3"));
    const QString decode = "ffmpeg -v error -i %1 -f s16le -";
    const QByteArray sound = run(decode.arg(path("tagged-piece.mp3")));
    QCOMPARE(sound.size(), 10 * 44100 * 4);
    QVERIFY(sound == run(decode.arg(path("bare-piece.mp3"))));

    // From the start, to the sample and at frames: the tag once, and the audio right after it.
    for (const qint64 start : {qint64(0), qint64(-1)}) {
        const QByteArray first = cut(source, start, 5 * 44100, path("tagged-start.mp3"));
        QVERIFY(first.indexOf(picture) == first.lastIndexOf(picture));
        const auto *p = reinterpret_cast<const uchar *>(first.constData());
        const qint64 tag = 10 + ((p[6] << 21) | (p[7] << 14) | (p[8] << 7) | p[9]);
        QCOMPARE(analyseMp3(path("tagged-start.mp3")).audioBegin, tag);
    }
}

void TestMp3Piece::tagsOfEachVersionStateThePiecesLength_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("expected"); // empty: read back by ffprobe
    QTest::newRow("2.2") << id3Tag(2, 0) << QByteArray();
    QTest::newRow("2.3 unsynchronised") << id3Tag(3, 0x80) << QByteArray();
    QTest::newRow("2.3, extended header") << id3Tag(3, 0x40) << QByteArray();
    QTest::newRow("2.4, extended header, footer") << id3Tag(4, 0x50) << QByteArray();
    QTest::newRow("2.4 with plain sizes") << id3Tag(4, 0, true) << QByteArray();
    // What cannot be read is kept only where it cannot state a wrong length.
    QByteArray cut = id3Tag(3, 0);
    cut[10 + 7] = 0x7f; // the title runs past the tag's end
    QTest::newRow("unreadable with a length") << cut << QByteArray("dropped");
    cut.replace("TLEN", "TXXX");
    QTest::newRow("unreadable without") << cut << cut;
    QTest::newRow("unknown flags") << id3Tag(4, 0x08) << QByteArray("dropped");
}

void TestMp3Piece::tagsOfEachVersionStateThePiecesLength()
{
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, expected);
    const QByteArray rewritten = id3v2ForPiece(tag, 12345);
    if (!expected.isEmpty()) {
        QCOMPARE(rewritten, expected == "dropped" ? QByteArray() : expected);
        return;
    }
    QVERIFY(rewritten.contains(kPayload));
    const QString file = path("retagged.mp3");
    QVERIFY(writeFile(file, rewritten + contents(path("cbr-plain.mp3"))));
    const QJsonObject probed = probe(file);
    const QJsonValue tags = probed["format"]["tags"];
    QCOMPARE(tags["title"].toString(), QStringLiteral("Song"));
    QCOMPARE(tags[tag[3] == 2 ? "TLE" : "TLEN"].toString(), QStringLiteral("12345"));
    QCOMPARE(analyseMp3(file).audioBegin, rewritten.size());
}

QTEST_MAIN(TestMp3Piece)
#include "tst_mp3piece.moc"
