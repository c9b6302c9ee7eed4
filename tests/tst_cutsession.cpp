#include "app/CutSession.h"
#include "app/Numeric.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The cut without a window: marks from the player's time to the selection in twips and to the
// byte range, and what a save copies. The track bar is the design's, 720 + 4935 twips.
class TestCutSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void workedExampleMarksAndPlans();
    void endNotAfterTheStartIsRefused_data();
    void endNotAfterTheStartIsRefused();
    void startAgainDropsTheEnd();
    void failuresLeaveTheNumbers();
    void changedSourceIsRefused();
    void theSourceIsKnownUnderOtherNames();
    void savedPieceHoldsExactlyTheMarkedSamples();

private:
    QString makeSource(const QString &name, int size);
    MarkOutcome markAt(double position, MarkOutcome (CutSession::*mark)(const CutSession::Clock &));

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CutSession> m_session;
    QByteArray m_bytes;
    double m_duration = 180;
};

void TestCutSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_session = std::make_unique<CutSession>(BarSpan{720, 4935}, Selection{{720, 50}, false});
    m_duration = 180;
}

void TestCutSession::cleanup()
{
    m_session.reset();
    m_dir.reset();
}

QString TestCutSession::makeSource(const QString &name, int size)
{
    m_bytes.resize(size);
    for (int i = 0; i < size; ++i)
        m_bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_bytes) != size)
        qFatal("cannot write the source fixture");
    return path;
}

MarkOutcome TestCutSession::markAt(double position,
                                   MarkOutcome (CutSession::*mark)(const CutSession::Clock &))
{
    return (m_session.get()->*mark)([&] { return PlayerTime{position, m_duration}; });
}

void TestCutSession::workedExampleMarksAndPlans()
{
    // Without a file, or a start, the player is not even asked.
    const CutSession::Clock unasked = []() -> PlayerTime { throw CutError("asked"); };
    QCOMPARE(m_session->markStart(unasked), MarkOutcome::NoFile);
    const QString source = makeSource(QStringLiteral("song.mp3"), 3000000);
    m_session->open(source);
    QCOMPARE(m_session->markEnd(unasked), MarkOutcome::NoStart);
    QCOMPARE(m_session->markToEnd(), MarkOutcome::NoStart);

    QCOMPARE(markAt(45, &CutSession::markStart), MarkOutcome::Done);
    QCOMPARE(m_session->selection().span.left, 1954.0f);
    QCOMPARE(m_session->selection().span.width, 1.0f);
    QVERIFY(m_session->selection().shown);
    // int((1954 - 720) / 4935 * 3000000) bytes lie before the cut.
    QCOMPARE(m_session->state().StartOffset, 750153);
    QCOMPARE(m_session->state().CutLength, -1);
    QCOMPARE(m_session->missingBeforeSave(), Missing::End);

    QCOMPARE(markAt(90, &CutSession::markEnd), MarkOutcome::Done);
    QCOMPARE(m_session->selection().span.width, 1234.0f); // 1233.5 goes to the even neighbour
    QCOMPARE(m_session->state().CutLength, 750152);
    const CutTimes times = m_session->markedTimes(180);
    QVERIFY(qAbs(times.start - 45.009) < 0.001 && qAbs(times.end - 90.018) < 0.001);

    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));
    const SavePlan plan = m_session->planSave(target);
    QCOMPARE(plan.source, source);
    QCOMPARE(plan.start, 750153);
    QCOMPARE(plan.count, 750152);
    QVERIFY(plan.edits.head.isEmpty() && plan.edits.patch.isEmpty());
    QCOMPARE(m_session->state().TargetFile, target);
    m_session->saved();
    QVERIFY(!m_session->selection().shown);
    QCOMPARE(m_session->missingBeforeSave(), Missing::Start);
    QCOMPARE(m_session->source(), source);

    // To the end instead: the bar's right end, whatever the player says.
    markAt(45, &CutSession::markStart);
    QCOMPARE(m_session->markToEnd(), MarkOutcome::Done);
    QCOMPARE(m_session->selection().span.width, 3701.0f);
    QCOMPARE(m_session->state().CutLength, 2249848);
    // The range runs through the last byte; the plan copies only what the file holds.
    QCOMPARE(m_session->planSave(target).count, 3000000 - 750153 + 1);

    // From the very beginning: the whole file.
    markAt(0, &CutSession::markStart);
    QCOMPARE(m_session->selection().span.left, 720.0f);
    QCOMPARE(m_session->state().StartOffset, 1);
    m_session->markToEnd();
    QCOMPARE(m_session->state().CutLength, 3000000);
}

void TestCutSession::endNotAfterTheStartIsRefused_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end"); // -1: to the end of the file
    QTest::newRow("before the start") << 50.0 << 40.0;
    QTest::newRow("at the start") << 50.0 << 50.0;
    QTest::newRow("start past the duration, to the end") << 150.0 << -1.0;
}

void TestCutSession::endNotAfterTheStartIsRefused()
{
    QFETCH(double, start);
    QFETCH(double, end);
    m_duration = 100;
    m_session->open(makeSource(QStringLiteral("a.mp3"), 100000));
    markAt(start, &CutSession::markStart);
    const auto markEnd = [&](double at) {
        return at < 0 ? m_session->markToEnd() : markAt(at, &CutSession::markEnd);
    };
    QCOMPARE(markEnd(end), MarkOutcome::EndNotAfterStart);
    QCOMPARE(m_session->selection().span.width, 1.0f);
    QCOMPARE(m_session->state().CutLength, -1);
    if (start > m_duration)
        return; // the start lies past the bar's end: no end can follow it
    // After a good end, a refused one changes neither the range nor the length.
    markAt(start + 10, &CutSession::markEnd);
    const Selection selection = m_session->selection();
    const CutState cut = m_session->state();
    QCOMPARE(markEnd(end), MarkOutcome::EndNotAfterStart);
    QCOMPARE(m_session->selection().span.width, selection.span.width);
    QCOMPARE(m_session->state().CutLength, cut.CutLength);
}

void TestCutSession::startAgainDropsTheEnd()
{
    m_session->open(makeSource(QStringLiteral("a.mp3"), 100000));
    markAt(10, &CutSession::markStart);
    m_session->markToEnd();
    QVERIFY(m_session->state().CutLength > 0);
    markAt(20, &CutSession::markStart);
    QCOMPARE(m_session->state().CutLength, -1);
    QCOMPARE(m_session->selection().span.width, 1.0f);
}

void TestCutSession::failuresLeaveTheNumbers()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    m_session->open(source);
    // The player cannot tell the length: nothing has moved.
    m_duration = 0;
    QVERIFY_THROWS_EXCEPTION(CutError, markAt(50, &CutSession::markStart));
    QVERIFY(!m_session->selection().shown);
    QVERIFY_THROWS_EXCEPTION(CutError, m_session->markedTimes(0));

    // The file vanishes after opening: the selection has moved, the numbers have not.
    m_duration = 100;
    QVERIFY(QFile::remove(source));
    QVERIFY_THROWS_EXCEPTION(FileIoError, markAt(50, &CutSession::markStart));
    QVERIFY(m_session->selection().shown);
    QCOMPARE(m_session->state().StartOffset, -1);

    // A bar of no width is an arithmetic failure, not a division's infinity.
    CutSession flat(BarSpan{720, 0}, Selection{});
    flat.open(makeSource(QStringLiteral("b.mp3"), 1000));
    QVERIFY_THROWS_EXCEPTION(ArithmeticError, flat.markStart([] { return PlayerTime{50, 100}; }));
}

void TestCutSession::changedSourceIsRefused()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 100000);
    m_session->open(source);
    markAt(50, &CutSession::markStart);
    m_session->markToEnd();
    const CutState cut = m_session->state();
    const QString target = m_dir->filePath(QStringLiteral("cut.mp3"));

    // The same size but written since: still another file.
    QFile file(source);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                             QFileDevice::FileModificationTime));
    file.close();
    QVERIFY_THROWS_EXCEPTION(CutError, m_session->planSave(target));
    QVERIFY_THROWS_EXCEPTION(CutError, m_session->markToEnd());
    QCOMPARE(m_session->state().CutLength, cut.CutLength);

    m_session->open(source);
    markAt(50, &CutSession::markStart);
    QVERIFY(QFile::resize(source, 60000));
    QVERIFY_THROWS_EXCEPTION(CutError, m_session->markToEnd());
    QVERIFY_THROWS_EXCEPTION(CutError, markAt(10, &CutSession::markStart));
}

void TestCutSession::theSourceIsKnownUnderOtherNames()
{
    const QString source = makeSource(QStringLiteral("a.mp3"), 1000);
    const QString link = m_dir->filePath(QStringLiteral("link.mp3"));
    QVERIFY(QFile::link(source, link));
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    m_session->open(source);
    for (const QString &name : {source, link, m_dir->path() + QStringLiteral("/sub/../a.mp3")})
        QVERIFY2(m_session->isSource(name), qPrintable(name));
    QVERIFY(!m_session->isSource(m_dir->filePath(QStringLiteral("b.mp3"))));
}

void TestCutSession::savedPieceHoldsExactlyTheMarkedSamples()
{
    // The marks' samples, not the bar's twips, decide the piece: 1.3 s from sample 30001.
    const QString source = QStringLiteral(VELQUIST_FIXTURES "/beeps-12s.mp3");
    m_session->open(source);
    QCOMPARE(m_session->markStart([] { return PlayerTime{0.9, 12.06, 30001}; }), MarkOutcome::Done);
    QCOMPARE(m_session->markEnd([] { return PlayerTime{2.2, 12.06, 71601}; }), MarkOutcome::Done);
    const QString target = m_dir->filePath(QStringLiteral("piece.mp3"));
    const SavePlan plan = m_session->planSave(target);
    CopyOptions options;
    options.edits = plan.edits;
    CopyByteRange(plan.source, plan.start, plan.count, target, options);
    QProcess mpg123;
    mpg123.start(QStringLiteral("mpg123"), {QStringLiteral("-q"), QStringLiteral("-s"), target});
    QVERIFY(mpg123.waitForFinished(10000));
    QCOMPARE(mpg123.readAllStandardOutput().size() / 2, 71601 - 30001);
}

QTEST_GUILESS_MAIN(TestCutSession)
#include "tst_cutsession.moc"
