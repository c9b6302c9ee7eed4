#include "SlowDisk.h"
#include "fileio/ByteRange.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

#include <limits>
#include <memory>

namespace {

constexpr qint32 kMax32 = std::numeric_limits<qint32>::max();
constexpr qint64 k2GiB = qint64(1) << 31;

// Bytes that differ from their neighbours, so an off-by-one shows.
QByteArray Pattern(int size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed * 13 + 1) & 0xff);
    return bytes;
}

void Put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray Get(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A file of `size` bytes without storing them: a hole reads as zeros.
void PutSparse(const QString &path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.resize(size));
}

// How many of this process's descriptors are open on `path`.
int OpenHandles(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            ++count;
    return count;
}

// Runs `call`, expecting a FileIoError that names `path`.
template <typename Call> void ExpectFailureNaming(const QString &path, Call call)
{
    try {
        call();
    } catch (const FileIoError &error) {
        const QString message = QString::fromUtf8(error.what());
        QVERIFY2(message.contains(QStringLiteral("“%1”").arg(path)), qPrintable(message));
        return;
    }
    QFAIL("no FileIoError thrown");
}

const char *NameOf(CopyMethod method)
{
    return method == CopyMethod::Kernel ? "kernel" : "buffered";
}

// Every case once through the kernel copy and once through the plain path it falls back to.
template <typename AddRow> void ForEachMethod(AddRow addRow)
{
    for (const CopyMethod method : {CopyMethod::Kernel, CopyMethod::Buffered})
        addRow(method, NameOf(method));
}

CopyOptions Options(const EventPump &pump, CopyMethod method, const RangeEdits &edits = {})
{
    CopyOptions options;
    options.pumpEvents = pump;
    options.method = method;
    options.edits = edits;
    return options;
}

// Peak resident memory since the last ResetPeakMemory(), in KiB; -1 where the system cannot say.
qint64 PeakMemoryKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool ResetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// Undoes a mount made by a test, however the test ends.
struct MountGuard
{
    QString dir;
    ~MountGuard()
    {
        if (!dir.isEmpty())
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
    }
};

} // namespace

class TestFileIo : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void copiesRange_data();
    void copiesRange();
    void writesHeadPatchAndTail_data();
    void writesHeadPatchAndTail();
    void copiesAcrossSlices_data();
    void copiesAcrossSlices();
    void refusesBadCopies_data();
    void refusesBadCopies();
    void replaceKeepsPermissionBits();
    void fullDiskLeavesOldTarget_data();
    void fullDiskLeavesOldTarget();
    void readOnlyMountLeavesOldTarget();
    void memoryStaysSmall_data();
    void memoryStaysSmall();
    void slowDiskKeepsEventsRunning_data();
    void slowDiskKeepsEventsRunning();
    void cancelLeavesOldTarget_data();
    void cancelLeavesOldTarget();

    void fileSize32_data();
    void fileSize32();
    void sameFile_data();
    void sameFile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList entries() const
    {
        return QDir(m_dir->path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_pumps = 0;
    EventPump m_pump = [this] { ++m_pumps; };
};

void TestFileIo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pumps = 0;
}

void TestFileIo::copiesRange_data()
{
    QTest::addColumn<CopyMethod>("method");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("count");
    QTest::addColumn<QByteArray>("oldTarget"); // null: none
    QTest::addColumn<QByteArray>("expected");
    const QByteArray file = Pattern(10);
    const QByteArray none;
    const QByteArray longer = Pattern(40, 5);
    ForEachMethod([&](CopyMethod m, const char *name) {
        QTest::addRow("%s: exactly the file", name) << m << 1 << 10 << none << file;
        QTest::addRow("%s: middle", name) << m << 3 << 4 << none << file.mid(2, 4);
        QTest::addRow("%s: rest from the middle", name) << m << 4 << 7 << none << file.mid(3);
        QTest::addRow("%s: last byte", name) << m << 10 << 1 << none << file.right(1);
        QTest::addRow("%s: replaces a longer target", name)
            << m << 2 << 3 << longer << file.mid(1, 3);
        QTest::addRow("%s: replaces a shorter target", name)
            << m << 1 << 10 << Pattern(2, 6) << file;
    });
}

void TestFileIo::copiesRange()
{
    QFETCH(CopyMethod, method);
    QFETCH(qint32, position);
    QFETCH(qint32, count);
    QFETCH(QByteArray, oldTarget);
    QFETCH(QByteArray, expected);
    const QString source = path("a.mp3");
    const QString target = path("out.mp3");
    Put(source, Pattern(10));
    if (!oldTarget.isNull())
        Put(target, oldTarget);

    CopyByteRange(source, position, count, target, Options(m_pump, method));
    QCOMPARE(Get(target), expected);
    QCOMPARE(Get(source), Pattern(10));
    QVERIFY(m_pumps >= 1);
    QCOMPARE(entries(), (QStringList{"a.mp3", "out.mp3"}));
    QCOMPARE(OpenHandles(source), 0);
}

void TestFileIo::writesHeadPatchAndTail_data()
{
    QTest::addColumn<CopyMethod>("method");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("count");
    QTest::addColumn<qint64>("patchAt");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray file = Pattern(10);
    ForEachMethod([&](CopyMethod m, const char *name) {
        QTest::addRow("%s: inside the range", name)
            << m << 3 << 6 << qint64(1)
            << "head" + file.mid(2, 1) + "pat" + file.mid(6, 2) + "tail";
        QTest::addRow("%s: on the range's last bytes", name)
            << m << 1 << 10 << qint64(7) << "head" + file.left(7) + "pat" + "tail";
    });
}

void TestFileIo::writesHeadPatchAndTail()
{
    QFETCH(CopyMethod, method);
    QFETCH(qint32, position);
    QFETCH(qint32, count);
    QFETCH(qint64, patchAt);
    QFETCH(QByteArray, expected);
    const QString source = path("a.mp3");
    const QString target = path("out.mp3");
    Put(source, Pattern(10));
    Put(target, Pattern(40, 5));

    CopyByteRange(source, position, count, target,
                  Options(m_pump, method, {"head", patchAt, "pat", "tail"}));
    QCOMPARE(Get(target), expected);
    QCOMPARE(entries(), (QStringList{"a.mp3", "out.mp3"}));
}

void TestFileIo::copiesAcrossSlices_data()
{
    QTest::addColumn<CopyMethod>("method");
    QTest::addColumn<qint32>("count");
    constexpr auto slice = qint32(CopySliceBytes);
    ForEachMethod([&](CopyMethod m, const char *name) {
        for (const int k : {1, 2}) {
            QTest::addRow("%s: %d slices - 1", name, k) << m << k * slice - 1;
            QTest::addRow("%s: %d slices", name, k) << m << k * slice;
            QTest::addRow("%s: %d slices + 1", name, k) << m << k * slice + 1;
        }
        QTest::addRow("%s: through the last byte", name) << m << int(2 * slice) + 7 + 1;
    });
}

void TestFileIo::copiesAcrossSlices()
{
    QFETCH(CopyMethod, method);
    QFETCH(qint32, count);
    // Long enough for every count from an odd position, and a few bytes more.
    const int position = 12345;
    const QByteArray file = Pattern(int(2 * CopySliceBytes) + position + 7, 3);
    const QString source = path("a.mp3");
    const QString target = path("out.mp3");
    Put(source, file);

    CopyByteRange(source, position, count, target, Options(m_pump, method));
    const QByteArray expected = file.mid(position - 1, count);
    QVERIFY(Get(target) == expected);
    QVERIFY(m_pumps >= 1);
}

void TestFileIo::refusesBadCopies_data()
{
    QTest::addColumn<qint64>("sourceSize"); // -1: no source
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("count");
    QTest::addColumn<QString>("target"); // relative to the test's folder
    QTest::addColumn<bool>("blameSource");
    const QString out = QStringLiteral("out.mp3");
    QTest::newRow("missing source") << qint64(-1) << 1 << 5 << out << true;
    QTest::newRow("position 0") << qint64(10) << 0 << 5 << out << true;
    QTest::newRow("position -5") << qint64(10) << -5 << 5 << out << true;
    QTest::newRow("count 0") << qint64(10) << 1 << 0 << out << true;
    QTest::newRow("count -2") << qint64(10) << 1 << -2 << out << true;
    // The program always knows the range's length and never asks for bytes the source lacks.
    QTest::newRow("count -1") << qint64(10) << 1 << -1 << out << true;
    QTest::newRow("wholly past the end") << qint64(10) << 11 << 1 << out << true;
    QTest::newRow("tail past the end") << qint64(10) << 8 << 4 << out << true;
    QTest::newRow("empty source") << qint64(0) << 1 << 1 << out << true;
    QTest::newRow("target is a folder") << qint64(10) << 1 << 5 << "folder" << false;
    QTest::newRow("target is read-only") << qint64(10) << 1 << 5 << "readonly.mp3" << false;
    QTest::newRow("target's parent is a file") << qint64(10) << 1 << 5 << "plain/out.mp3" << false;
    QTest::newRow("target's name has %1 and %2") << qint64(10) << 1 << 5 << "folder %1 %2" << false;
}

void TestFileIo::refusesBadCopies()
{
    QFETCH(qint64, sourceSize);
    QFETCH(qint32, position);
    QFETCH(qint32, count);
    QFETCH(QString, target);
    QFETCH(bool, blameSource);
    const QString source = path("a %1%2.mp3");
    if (sourceSize >= 0)
        PutSparse(source, sourceSize);
    QVERIFY(QDir().mkpath(path("folder")));
    QVERIFY(QDir().mkpath(path("folder %1 %2")));
    Put(path("plain"), Pattern(4));
    Put(path("readonly.mp3"), Pattern(8));
    QVERIFY(QFile::setPermissions(path("readonly.mp3"), QFileDevice::ReadOwner));
    Put(path("out.mp3"), Pattern(8));
    const QStringList before = entries();

    for (const CopyMethod method : {CopyMethod::Kernel, CopyMethod::Buffered}) {
        ExpectFailureNaming(blameSource ? source : path(target), [&] {
            CopyByteRange(source, position, count, path(target), Options(m_pump, method));
        });
        QCOMPARE(entries(), before);
    }
    QCOMPARE(Get(path("out.mp3")), Pattern(8));
    QCOMPARE(Get(path("readonly.mp3")), Pattern(8));
    QCOMPARE(m_pumps, 0);
    if (sourceSize >= 0)
        QCOMPARE(OpenHandles(source), 0);
}

void TestFileIo::replaceKeepsPermissionBits()
{
    const QString target = path("out.mp3");
    Put(path("a.mp3"), Pattern(8));
    Put(target, Pattern(8));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, mode));

    CopyByteRange(path("a.mp3"), 1, 3, target);
    // Only the stored mode bits; the "User" flags describe whoever runs the test.
    const auto stored = QFileDevice::Permissions(0x7077);
    QCOMPARE(QFileInfo(target).permissions() & stored, mode);
}

void TestFileIo::fullDiskLeavesOldTarget_data()
{
    QTest::addColumn<CopyMethod>("method");
    ForEachMethod([](CopyMethod m, const char *name) { QTest::newRow(name) << m; });
}

void TestFileIo::fullDiskLeavesOldTarget()
{
    QFETCH(CopyMethod, method);
    const QString small = path("small");
    QVERIFY(QDir().mkpath(small));
    MountGuard guard;
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a small tmpfs here (needs root in a mount-capable environment)");
    guard.dir = small;

    // Source and target on the one small disk, so the kernel copy itself meets the full disk.
    const QString source = small + "/a.mp3";
    Put(source, Pattern(40 * 1024, 3));
    const QString target = small + "/out.mp3";
    const QByteArray old = Pattern(16 * 1024);
    Put(target, old);
    ExpectFailureNaming(target,
                        [&] { CopyByteRange(source, 1, 40 * 1024, target, Options({}, method)); });
    QCOMPARE(Get(target), old);
    QCOMPARE(Get(source), Pattern(40 * 1024, 3));
    QCOMPARE(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"a.mp3", "out.mp3"}));
}

void TestFileIo::readOnlyMountLeavesOldTarget()
{
    const QString real = path("real");
    const QString view = path("view");
    QVERIFY(QDir().mkpath(real));
    QVERIFY(QDir().mkpath(view));
    const QByteArray old = Pattern(100);
    Put(real + "/out.mp3", old);
    Put(path("a.mp3"), Pattern(10, 4));

    MountGuard guard;
    const QByteArray viewName = QFile::encodeName(view);
    if (::mount(QFile::encodeName(real).constData(), viewName.constData(), nullptr, MS_BIND,
                nullptr) != 0)
        QSKIP("cannot make a bind mount here (needs root in a mount-capable environment)");
    guard.dir = view;
    if (::mount(nullptr, viewName.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                nullptr) != 0)
        QSKIP("cannot make the bind mount read-only here");

    const QString target = view + "/out.mp3";
    ExpectFailureNaming(target, [&] { CopyByteRange(path("a.mp3"), 1, 10, target); });
    QCOMPARE(Get(target), old);
    QCOMPARE(QDir(real).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"out.mp3"});
}

void TestFileIo::memoryStaysSmall_data()
{
    fullDiskLeavesOldTarget_data();
}

void TestFileIo::memoryStaysSmall()
{
    QFETCH(CopyMethod, method);
    // A range eight times the bound: holding it whole could not pass.
    constexpr qint64 range = qint64(256) << 20;
    constexpr qint64 boundKib = 32 * 1024;
    const QString source = path("a.mp3");
    PutSparse(source, range + 1000);
    if (!ResetPeakMemory())
        QSKIP("this system cannot reset the peak memory figure");
    const qint64 before = PeakMemoryKib();

    CopyByteRange(source, 501, qint32(range), path("out.mp3"), Options({}, method));
    const qint64 growth = PeakMemoryKib() - before;
    QVERIFY2(growth < boundKib, qPrintable(QStringLiteral("grew by %1 KiB").arg(growth)));
    QCOMPARE(QFileInfo(path("out.mp3")).size(), range);
}

void TestFileIo::slowDiskKeepsEventsRunning_data()
{
    fullDiskLeavesOldTarget_data();
}

void TestFileIo::slowDiskKeepsEventsRunning()
{
    QFETCH(CopyMethod, method);
    const QByteArray file = Pattern(3 << 20, 2);
    Put(path("a.mp3"), file);
    const SlowDisk usbStick(10'000'000, 300);

    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 longestGap = 0;
    QList<qint64> progress;
    const CopyOptions options{[&] {
                                  longestGap = std::max(longestGap, clock.elapsed() - lastTurn);
                                  lastTurn = clock.elapsed();
                              },
                              [&](qint64 written, qint64) { progress << written; },
                              {},
                              method,
                              {}};
    clock.start();
    QCOMPARE(CopyByteRange(path("a.mp3"), 1, qint32(file.size()), path("out.mp3"), options),
             CopyOutcome::Completed);
    longestGap = std::max(longestGap, clock.elapsed() - lastTurn);

    // The disk really was slow: the range's time on it plus the flush.
    QVERIFY2(clock.elapsed() >= 550, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(longestGap <= 100, qPrintable(QStringLiteral("%1 ms without events").arg(longestGap)));
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.value(progress.size() - 1), qint64(file.size()));
    QVERIFY(Get(path("out.mp3")) == file);
}

void TestFileIo::cancelLeavesOldTarget_data()
{
    QTest::addColumn<CopyMethod>("method");
    QTest::addColumn<bool>("whileFlushing");
    ForEachMethod([](CopyMethod m, const char *name) {
        QTest::addRow("%s: while copying", name) << m << false;
        QTest::addRow("%s: while flushing", name) << m << true;
    });
}

void TestFileIo::cancelLeavesOldTarget()
{
    QFETCH(CopyMethod, method);
    QFETCH(bool, whileFlushing);
    Put(path("a.mp3"), Pattern(3 << 20, 2));
    const QByteArray old = Pattern(1000, 9);
    Put(path("out.mp3"), old);
    const SlowDisk usbStick(10'000'000, 2000);

    constexpr qint64 size = 3 << 20;
    qint64 written = 0;
    int flushTurns = 0; // the first comes right after the last slice, the rest while flushing
    QElapsedTimer sinceCancel;
    const auto cancelled = [&] {
        const bool stop = whileFlushing ? flushTurns >= 3 : written >= (1 << 20);
        if (stop && !sinceCancel.isValid())
            sinceCancel.start();
        return stop;
    };
    const CopyOptions options{[&] { flushTurns += written == size; },
                              [&](qint64 w, qint64) { written = w; },
                              cancelled,
                              method,
                              {}};
    QCOMPARE(CopyByteRange(path("a.mp3"), 1, qint32(size), path("out.mp3"), options),
             CopyOutcome::Cancelled);
    QVERIFY2(sinceCancel.elapsed() <= 200, qPrintable(QString::number(sinceCancel.elapsed())));
    QCOMPARE(written == size, whileFlushing);
    QCOMPARE(Get(path("out.mp3")), old);
    QCOMPARE(entries(), (QStringList{"a.mp3", "out.mp3"}));
    QCOMPARE(OpenHandles(path("a.mp3")), 0);
}

void TestFileIo::fileSize32_data()
{
    QTest::addColumn<qint64>("size"); // -1: no file
    QTest::addColumn<bool>("fits");
    QTest::newRow("empty") << qint64(0) << true;
    QTest::newRow("small") << qint64(5) << true;
    QTest::newRow("2 GiB - 1") << k2GiB - 1 << true;
    QTest::newRow("2 GiB") << k2GiB << false;
    QTest::newRow("missing") << qint64(-1) << false;
}

void TestFileIo::fileSize32()
{
    QFETCH(qint64, size);
    QFETCH(bool, fits);
    const QString file = path("a.mp3");
    if (size >= 0)
        PutSparse(file, size);

    if (fits)
        QCOMPARE(FileSize32(file), qint32(size));
    else
        ExpectFailureNaming(file, [&] { FileSize32(file); });
}

void TestFileIo::sameFile_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    // Rows name files relative to the test's folder; sameFile() makes them.
    QTest::newRow("same text, even missing") << "gone.mp3"
                                             << "gone.mp3" << true;
    QTest::newRow("symbolic link") << "a.mp3"
                                   << "link.mp3" << true;
    QTest::newRow("hard link") << "a.mp3"
                               << "hard.mp3" << true;
    QTest::newRow("dot-dot") << "a.mp3"
                             << "sub/../a.mp3" << true;
    QTest::newRow("dot") << "a.mp3"
                         << "./sub/./../a.mp3" << true;
    QTest::newRow("different files") << "a.mp3"
                                     << "b.mp3" << false;
    QTest::newRow("one missing") << "a.mp3"
                                 << "gone.mp3" << false;
    QTest::newRow("other case on a case-sensitive disk") << "a.mp3"
                                                         << "A.mp3" << false;
}

void TestFileIo::sameFile()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    Put(path("a.mp3"), Pattern(4));
    Put(path("b.mp3"), Pattern(4));
    QVERIFY(QDir().mkpath(path("sub")));
    QVERIFY(QFile::link(path("a.mp3"), path("link.mp3")));
    QCOMPARE(::link(QFile::encodeName(path("a.mp3")).constData(),
                    QFile::encodeName(path("hard.mp3")).constData()),
             0);

    QCOMPARE(SameFile(path(a), path(b)), same);
    QCOMPARE(SameFile(path(b), path(a)), same);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
