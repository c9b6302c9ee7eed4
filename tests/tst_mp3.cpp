#include "app/CutSession.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3ByteMap.h"
#include "mp3/Mp3Scan.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

struct Packet
{
    double time; // seconds from the first packet
    qint64 pos;
    qint64 size;
};

bool run(const QString &program, const QStringList &arguments, QByteArray *out = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

// ffprobe's view of the audio frames: the reference the analysis is held to.
std::vector<Packet> probePackets(const QString &path)
{
    QByteArray json;
    if (!run(QStringLiteral("ffprobe"),
             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
              QStringLiteral("a:0"), QStringLiteral("-show_packets"),
              QStringLiteral("-show_entries"), QStringLiteral("packet=pos,pts_time,size"),
              QStringLiteral("-of"), QStringLiteral("json"), path},
             &json))
        return {};
    std::vector<Packet> packets;
    const QJsonArray list = QJsonDocument::fromJson(json).object().value("packets").toArray();
    for (const QJsonValue &value : list) {
        const QJsonObject packet = value.toObject();
        packets.push_back({packet.value("pts_time").toString().toDouble(),
                           packet.value("pos").toString().toLongLong(),
                           packet.value("size").toString().toLongLong()});
    }
    return packets;
}

// Times from the first packet on, as the analysis counts them.
void fromFirstPacket(std::vector<Packet> &packets)
{
    if (packets.empty())
        return;
    const double first = packets.front().time;
    for (Packet &packet : packets)
        packet.time -= first;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray syncSafe(int size)
{
    QByteArray bytes(4, '\0');
    for (int i = 3; i >= 0; --i, size >>= 7)
        bytes[i] = static_cast<char>(size & 0x7F);
    return bytes;
}

// A tag of `body` zero bytes (padding is a valid tag body), with the footer if asked.
QByteArray id3v2(char version, int body, bool footer)
{
    const QByteArray size = syncSafe(body);
    QByteArray tag = QByteArray("ID3") + version + '\0' + (footer ? '\x10' : '\0') + size;
    tag += QByteArray(body, '\0');
    if (footer)
        tag += QByteArray("3DI") + version + '\0' + '\x10' + size;
    return tag;
}

// Text with no 0xFF byte, so that no decoder can take it for a frame.
QByteArray garbage(int size)
{
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += "not audio, just bytes; ";
    return bytes.left(size);
}

} // namespace

class TestMp3 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void framesMatchFfprobe_data();
    void framesMatchFfprobe();
    void freeFormatFramesAreMeasured();
    void anythingElseIsLinearWithoutFrames();
    void unreadableFileIsAnError();
    void fileThatChangesItsSampleRateIsRefused();

    void timesMapToTheFramesPlayingThen_data();
    void timesMapToTheFramesPlayingThen();

    void marksGoThroughTheFrames();
    void formulasHoldWhereBytesAreLinear();
    void theAnalysisOfTheFileBeforeIsForgotten();
    void aSourceGoneFailsAsBefore();

private:
    QString fixture(const QString &name) const { return m_dir.filePath(name); }
    std::unique_ptr<CutSession> openSession(const QString &path);

    QTemporaryDir m_dir;
};

void TestMp3::initTestCase()
{
    for (const char *tool : {"sox", "lame", "ffmpeg", "ffprobe"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    QVERIFY(m_dir.isValid());
    const auto sox = [](const QStringList &arguments) {
        return run(QStringLiteral("sox"), arguments);
    };
    const auto lame = [this](const QStringList &options, const QString &in, const QString &out) {
        return run(QStringLiteral("lame"), QStringList{QStringLiteral("--quiet")} + options +
                                               QStringList{fixture(in), fixture(out)});
    };
    // A quiet half and a loud half: a variable bit rate spends its bytes very unevenly.
    QVERIFY(sox({"-n", "-r", "44100", "-c", "2", "-b", "16", fixture("quiet.wav"), "synth", "12",
                 "sine", "440", "vol", "0.02"}));
    QVERIFY(sox({"-n", "-r", "44100", "-c", "2", "-b", "16", fixture("loud.wav"), "synth", "12",
                 "pinknoise", "vol", "0.9"}));
    QVERIFY(sox({fixture("quiet.wav"), fixture("loud.wav"), fixture("song.wav")}));
    QVERIFY(sox({fixture("song.wav"), "-r", "22050", fixture("song22.wav")}));
    QVERIFY(lame({"-b", "128"}, "song.wav", "cbr.mp3"));
    QVERIFY(lame({"-t", "-b", "128"}, "song.wav", "bare.mp3"));
    QVERIFY(lame({"-V", "2"}, "song.wav", "vbr.mp3"));
    QVERIFY(lame({"--abr", "96"}, "song.wav", "abr.mp3"));
    QVERIFY(lame({"-V", "5"}, "song22.wav", "mpeg2.mp3"));
    QVERIFY(lame({"-m", "m", "-b", "64"}, "song.wav", "mono.mp3"));
    QVERIFY(lame({"--freeformat", "-b", "400"}, "song.wav", "free.mp3"));

    // A large cover picture in an ID3v2.4 tag, ID3v1 and APEv2 at the end.
    QVERIFY(run(QStringLiteral("ffmpeg"),
                {"-v", "error", "-f", "lavfi", "-i", "color=c=gray:s=512x512,noise=alls=100:allf=t",
                 "-frames:v", "1", fixture("cover.png")}));
    QVERIFY(QFile(fixture("cover.png")).size() > 500000);
    QVERIFY(run(QStringLiteral("ffmpeg"), {"-v",
                                           "error",
                                           "-i",
                                           fixture("vbr.mp3"),
                                           "-i",
                                           fixture("cover.png"),
                                           "-map",
                                           "0",
                                           "-map",
                                           "1",
                                           "-c",
                                           "copy",
                                           "-id3v2_version",
                                           "4",
                                           "-write_id3v1",
                                           "1",
                                           "-write_apetag",
                                           "1",
                                           "-metadata",
                                           "title=Song",
                                           fixture("tagged.mp3")}));

    // Two ID3v2 tags in a row (the first with a footer), stray bytes before the first frame,
    // garbage between frames, Lyrics3 and ID3v1 at the end.
    const QByteArray vbr = bytesOf(fixture("vbr.mp3"));
    const std::vector<Packet> packets = probePackets(fixture("vbr.mp3"));
    QVERIFY(packets.size() > 400);
    const qint64 cut1 = packets[100].pos, cut2 = packets[300].pos;
    QByteArray messy = id3v2('\x04', 300, true) + id3v2('\x03', 200, false) + garbage(77);
    messy += vbr.left(cut1) + garbage(501) + vbr.mid(cut1, cut2 - cut1) + garbage(1000);
    messy += vbr.mid(cut2);
    const QByteArray lyrics = "LYRICSBEGININDThe words";
    messy += lyrics + QByteArray::number(lyrics.size()).rightJustified(6, '0') + "LYRICS200";
    messy += QByteArray("TAG") + QByteArray(125, ' ');
    QVERIFY(writeFile(fixture("messy.mp3"), messy));
    for (const char *name : {"crc-protected.mp3", "id3v23-flag-0x10.mp3", "mixed-rates.mp3"})
        QVERIFY(QFile::copy(QStringLiteral(VELQUIST_FIXTURES "/") + name, fixture(name)));
}

void TestMp3::framesMatchFfprobe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("linear");
    QTest::addColumn<QString>("header");
    QTest::addColumn<qint64>("garbage"); // bytes between frames, after the first

    QTest::newRow("CBR with a LAME Info frame") << "cbr.mp3" << true << "Info" << qint64(0);
    QTest::newRow("CBR, no header frame") << "bare.mp3" << true << "" << qint64(0);
    QTest::newRow("VBR, quiet and loud halves") << "vbr.mp3" << false << "Xing" << qint64(0);
    QTest::newRow("ABR") << "abr.mp3" << false << "Xing" << qint64(0);
    QTest::newRow("MPEG-2, 22.05 kHz") << "mpeg2.mp3" << false << "Xing" << qint64(0);
    QTest::newRow("mono CBR") << "mono.mp3" << true << "Info" << qint64(0);
    QTest::newRow("picture in ID3v2.4, APEv2 and ID3v1")
        << "tagged.mp3" << false << "Xing" << qint64(0);
    QTest::newRow("tags in a row, garbage, Lyrics3")
        << "messy.mp3" << false << "Xing" << qint64(1501);
    QTest::newRow("CRC-protected") << "crc-protected.mp3" << false << "Xing" << qint64(0);
    QTest::newRow("ID3v2.3 with flag 0x10")
        << "id3v23-flag-0x10.mp3" << false << "Xing" << qint64(0);
}

void TestMp3::framesMatchFfprobe()
{
    QFETCH(QString, name);
    QFETCH(bool, linear);
    QFETCH(QString, header);
    QFETCH(qint64, garbage);
    const QString path = fixture(name);
    std::vector<Packet> packets = probePackets(path);
    QVERIFY(!packets.empty());
    const Mp3Analysis analysis = analyseMp3(path);
    // ffmpeg looks for the header frame only right after the first tag; elsewhere it passes it
    // on as a packet, which decoders then skip.
    if (analysis.headerFrame && packets.front().pos == analysis.headerFrame->offset)
        packets.erase(packets.begin());
    // Nor does it know Lyrics3: it passes the tag on as a last packet.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(packets.back().pos));
    if (file.read(11) == "LYRICSBEGIN")
        packets.pop_back();
    fromFirstPacket(packets);

    QCOMPARE(analysis.linear, linear);
    QCOMPARE(analysis.fileSize, QFile(path).size());
    QCOMPARE(analysis.headerFrame.has_value(), !header.isEmpty());
    if (analysis.headerFrame) {
        static const char *kinds[] = {"Xing", "Info", "VBRI"};
        QCOMPARE(kinds[static_cast<int>(analysis.headerFrame->kind)], header);
        QCOMPARE(analysis.audioBegin, analysis.headerFrame->offset);
        QCOMPARE(analysis.headerFrame->offset + analysis.headerFrame->size, packets.front().pos);
    } else {
        QCOMPARE(analysis.audioBegin, packets.front().pos);
    }

    // ffmpeg counts garbage before a frame into that frame's packet; the frame starts at its
    // sync word all the same, and the packet ends where the frame does.
    qint64 skipped = 0;
    const qint64 count = std::min(analysis.frameCount(), static_cast<qint64>(packets.size()));
    for (qint64 i = 0; i < count; ++i) {
        const Packet &packet = packets[static_cast<size_t>(i)];
        const qint64 offset = analysis.frameOffset(i);
        skipped += offset - packet.pos;
        if (offset < packet.pos || offset + analysis.frameSize(i) != packet.pos + packet.size ||
            std::abs(analysis.frameStart(i) - packet.time) > 1e-5)
            QFAIL(
                qPrintable(QStringLiteral("frame %1: %2 (%3 bytes) at %4 s, ffprobe %5 (%6) at %7")
                               .arg(i)
                               .arg(analysis.frameOffset(i))
                               .arg(analysis.frameSize(i))
                               .arg(analysis.frameStart(i))
                               .arg(packet.pos)
                               .arg(packet.size)
                               .arg(packet.time)));
    }
    QCOMPARE(skipped, garbage);
    QCOMPARE(analysis.frameCount(), static_cast<qint64>(packets.size()));
    QCOMPARE(analysis.audioEnd, packets.back().pos + packets.back().size);
}

void TestMp3::fileThatChangesItsSampleRateIsRefused()
{
    const Mp3Analysis joined = analyseMp3(fixture("mixed-rates.mp3"));
    QVERIFY(joined.refusal.contains("44100 Hz") && joined.refusal.contains("48000 Hz"));
    QVERIFY(analyseMp3(fixture("vbr.mp3")).refusal.isEmpty());
    // The LAME tag's delay and padding are read where there is one.
    QCOMPARE(analyseMp3(fixture("vbr.mp3")).headerFrame->encoderDelay, 576);
    QCOMPARE(analyseMp3(fixture("messy.mp3")).headerFrame->encoderDelay, 576);
}

void TestMp3::freeFormatFramesAreMeasured()
{
    // ffprobe does not follow free format, so the reference is the arithmetic: 400 kbit/s at
    // 44.1 kHz is 1306 bytes a frame, 1307 padded, frames back to back.
    const Mp3Analysis analysis = analyseMp3(fixture("free.mp3"));
    QVERIFY(analysis.headerFrame);
    QVERIFY(analysis.linear);
    // As many frames as the same sound encoded at a fixed bit rate.
    QCOMPARE(analysis.frameCount(), analyseMp3(fixture("cbr.mp3")).frameCount());
    qint64 next = analysis.headerFrame->offset + analysis.headerFrame->size;
    for (qint64 i = 0; i < analysis.frameCount(); ++i) {
        QCOMPARE(analysis.frameOffset(i), next);
        QVERIFY(analysis.frameSize(i) == 1306 || analysis.frameSize(i) == 1307);
        next += analysis.frameSize(i);
    }
    QCOMPARE(analysis.audioEnd, QFile(fixture("free.mp3")).size());
}

void TestMp3::anythingElseIsLinearWithoutFrames()
{
    const QString empty = fixture("empty.mp3");
    const QString text = fixture("text.mp3");
    // A picture is full of 0xFF bytes; single false syncs must not make it audio.
    const QString picture = fixture("cover.png");
    QVERIFY(writeFile(empty, QByteArray()));
    QVERIFY(writeFile(text, garbage(100000)));
    for (const QString &path : {empty, text, picture}) {
        const Mp3Analysis analysis = analyseMp3(path);
        QVERIFY2(analysis.linear, qPrintable(path));
        QCOMPARE(analysis.frameCount(), 0);
        QVERIFY(!analysis.headerFrame);
        QCOMPARE(analysis.fileSize, QFile(path).size());
    }
}

void TestMp3::unreadableFileIsAnError()
{
    QVERIFY_THROWS_EXCEPTION(FileIoError, analyseMp3(fixture("missing.mp3")));
    std::atomic_bool cancel{true};
    QVERIFY_THROWS_EXCEPTION(AnalysisCancelled, analyseMp3(fixture("vbr.mp3"), &cancel));
}

void TestMp3::timesMapToTheFramesPlayingThen_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("VBR") << "vbr.mp3";
    QTest::newRow("big cover, tags at the end") << "tagged.mp3";
    QTest::newRow("MPEG-2") << "mpeg2.mp3";
}

void TestMp3::timesMapToTheFramesPlayingThen()
{
    QFETCH(QString, name);
    const QString path = fixture(name);
    std::vector<Packet> packets = probePackets(path);
    fromFirstPacket(packets);
    const Mp3Analysis analysis = analyseMp3(path);
    const qint64 size = QFile(path).size();

    // Time 0 keeps whatever comes before the audio (tags, header frame).
    QCOMPARE(firstByteAt(analysis, 0), 1);
    for (double t : {0.001, 5.8, 12.0, 16.9, 23.9}) {
        size_t k = 0;
        while (k + 1 < packets.size() && packets[k + 1].time <= t)
            ++k;
        QCOMPARE(firstByteAt(analysis, t), packets[k].pos + 1);
        QCOMPARE(lastByteAt(analysis, t), packets[k].pos + packets[k].size);
    }
    // Past the audio: a start beyond the file (the save refuses it), an end on the last frame.
    QCOMPARE(firstByteAt(analysis, 30), size + 1);
    QCOMPARE(lastByteAt(analysis, 30), packets.back().pos + packets.back().size);
}

// A session on the design's track bar, 720 + 4935 twips, with `path` open.
std::unique_ptr<CutSession> TestMp3::openSession(const QString &path)
{
    auto session = std::make_unique<CutSession>(BarSpan{720, 4935}, Selection{});
    session->open(path);
    return session;
}

void TestMp3::marksGoThroughTheFrames()
{
    const QString path = fixture("vbr.mp3");
    const Mp3Analysis analysis = analyseMp3(path);
    const double d = analysis.duration();
    const auto session = openSession(path);
    const auto at = [d](double seconds) { return [=] { return PlayerTime{seconds, d}; }; };
    const auto barTime = [&](double edge) { return (edge - 720) / 4935 * d; };

    // Marked right after opening: the marks wait for the analysis.
    session->markStart(at(5.8));
    const Selection &selection = session->selection();
    const double startTime = barTime(selection.span.left);
    const qint64 start = firstByteAt(analysis, startTime);
    // The quiet first half is small: far from the proportional byte.
    QVERIFY(start < startTime / d * static_cast<double>(analysis.fileSize) - 10000);
    QCOMPARE(session->state().StartOffset, start);

    session->markEnd(at(16.9));
    const qint64 end = lastByteAt(analysis, barTime(selection.span.left + selection.span.width));
    QCOMPARE(session->state().CutLength, end - start + 1);

    session->markToEnd();
    QCOMPARE(session->state().CutLength, analysis.fileSize - start + 1);

    session->markStart(at(0));
    QCOMPARE(session->state().StartOffset, 1);

    // The piece plays what was marked: ffmpeg decodes it to the marked stretch's length.
    session->markStart(at(5.8));
    session->markEnd(at(16.9));
    const QString piece = fixture("piece.mp3");
    const SavePlan plan = session->planSave(piece);
    CopyOptions options;
    options.edits = plan.edits;
    QCOMPARE(CopyByteRange(plan.source, plan.start, plan.count, piece, options),
             CopyOutcome::Completed);
    std::vector<Packet> packets = probePackets(piece);
    fromFirstPacket(packets);
    QVERIFY(!packets.empty());
    const double length = packets.back().time + 1152.0 / 44100;
    QVERIFY2(std::abs(length - (16.9 - 5.8)) < 0.1, qPrintable(QString::number(length)));
}

void TestMp3::formulasHoldWhereBytesAreLinear()
{
    // A CBR file that begins with a LAME Info frame: the proportional bytes, exactly.
    const QString path = fixture("cbr.mp3");
    const double n = static_cast<double>(QFile(path).size());
    const auto session = openSession(path);
    const auto at = [](double seconds) { return [=] { return PlayerTime{seconds, 24}; }; };
    const Selection &selection = session->selection();

    session->markStart(at(5.8));
    QCOMPARE(session->state().StartOffset,
             qRound(std::nearbyint((selection.span.left - 720) / 4935 * n)) + 1);
    session->markEnd(at(16.9));
    QCOMPARE(session->state().CutLength, qRound(std::nearbyint(selection.span.width / 4935 * n)));
    session->markToEnd();
    QCOMPARE(session->state().CutLength, qRound(std::nearbyint(selection.span.width / 4935 * n)));
}

void TestMp3::theAnalysisOfTheFileBeforeIsForgotten()
{
    const auto session = openSession(fixture("vbr.mp3"));
    // A file of the same length but proportional: its marks must not use the VBR file's frames.
    const QString path = fixture("bare.mp3");
    session->open(path);
    session->markStart([] { return PlayerTime{5.8, 24}; });
    const double n = static_cast<double>(QFile(path).size());
    const double fraction = (session->selection().span.left - 720) / 4935;
    QCOMPARE(session->state().StartOffset, qRound(std::nearbyint(fraction * n)) + 1);
}

void TestMp3::aSourceGoneFailsAsBefore()
{
    const QString path = fixture("gone.mp3");
    QVERIFY(QFile::copy(fixture("vbr.mp3"), path));
    const auto session = openSession(path);
    session->markStart([] { return PlayerTime{5.8, 24}; });
    QVERIFY(session->state().StartOffset > 0);
    QVERIFY(QFile::remove(path));
    QVERIFY_THROWS_EXCEPTION(FileIoError, session->markEnd([] { return PlayerTime{16.9, 24}; }));
    QCOMPARE(session->state().CutLength, -1);
}

QTEST_MAIN(TestMp3)
#include "tst_mp3.moc"
